// Arbitrary bytes as a message file: the POSIX reader must parse them and
// answer lookups without crashing, reading out of bounds or overrunning the
// caller's buffer, and must give the same answer twice.
#include "platform/posix/ini_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Every lookup writes at most `size` bytes; the byte after them must stay.
void Check(zelk::os::ParsedProfile const& profile, char const* section, char const* key, unsigned long size) {
    char buffer[80];
    std::memset(buffer, 0x5A, sizeof buffer);
    unsigned long const copied = profile.Lookup(section, key, "default ", buffer, size);
    if (size == 0) {
        if (copied != 0 || buffer[0] != 0x5A) __builtin_trap();
        return;
    }
    if (copied >= size || buffer[copied] != '\0' || std::strlen(buffer) != copied || buffer[size] != 0x5A) {
        __builtin_trap();
    }
    char again[80];
    if (profile.Lookup(section, key, "default ", again, size) != copied || std::strcmp(buffer, again) != 0) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::string_view const bytes(reinterpret_cast<char const*>(data), size);
    zelk::os::ParsedProfile const profile(bytes);

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

    for (unsigned long bufferSize : {0ul, 1ul, 2ul, 5ul, 79ul}) {
        Check(profile, section.c_str(), key.c_str(), bufferSize);
        Check(profile, "", key.c_str(), bufferSize);
        Check(profile, section.c_str(), "", bufferSize);
    }
    return 0;
}
