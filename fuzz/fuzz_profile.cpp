// Arbitrary bytes as a message file: the reader must parse them and answer
// lookups and name lists without crashing, reading out of bounds or
// overrunning the caller's buffer, give the same answer twice, and give the
// same answers when it also reports its view of the lines.
#include "platform/ini_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Every lookup writes at most `size` bytes, ending with a zero at its result;
// the byte after the buffer must stay.
void Check(zelk::os::ParsedProfile const& profile, zelk::os::ParsedProfile const& viewed, char const* section,
           char const* key, unsigned long size) {
    char buffer[80];
    std::memset(buffer, 0x5A, sizeof buffer);
    unsigned long const copied = profile.Lookup(section, key, "default ", buffer, size);
    if (size == 0) {
        if (copied != 0 || buffer[0] != 0x5A) __builtin_trap();
        return;
    }
    if (copied >= size || buffer[copied] != '\0' || buffer[size] != 0x5A) __builtin_trap();
    bool const list = section == nullptr || key == nullptr;
    if (!list && std::strlen(buffer) != copied) __builtin_trap();
    char again[80];
    std::memset(again, 0x5A, sizeof again);
    if (viewed.Lookup(section, key, "default ", again, size) != copied || std::memcmp(buffer, again, size) != 0) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::string_view const bytes(reinterpret_cast<char const*>(data), size);
    zelk::os::ParsedProfile const profile(bytes);
    zelk::os::ProfileLines lines;
    zelk::os::ParsedProfile const viewed(bytes, &lines);
    std::size_t previous = 0;
    for (zelk::os::ProfileLine const& line : lines.lines) {
        if (line.number <= previous) __builtin_trap();
        previous = line.number;
    }

    // Ask for names that the input itself holds: the first two lines' texts.
    std::string const text = zelk::os::ProfileText(bytes);
    std::size_t const firstEnd = text.find_first_of("\r\n");
    std::string const first = text.substr(0, std::min<std::size_t>(firstEnd, 40));
    std::string second;
    if (firstEnd != std::string::npos) second = text.substr(firstEnd + 1, 40);
    std::string section = first;
    if (!section.empty() && section.front() == '[') section = section.substr(1, section.find(']') - 1);
    std::string key = second.substr(0, second.find('='));
    section = section.c_str();  // names are C texts
    key = key.c_str();

    for (unsigned long bufferSize : {0ul, 1ul, 2ul, 3ul, 5ul, 79ul}) {
        Check(profile, viewed, section.c_str(), key.c_str(), bufferSize);
        Check(profile, viewed, "", key.c_str(), bufferSize);
        Check(profile, viewed, section.c_str(), "", bufferSize);
        Check(profile, viewed, nullptr, nullptr, bufferSize);
        Check(profile, viewed, section.c_str(), nullptr, bufferSize);
    }
    return 0;
}
