// GetWord, Translate and iStr on arbitrary bytes, each checked against a
// plain reference written on std::string.
#include <zelk/binchar.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string Bytes(BinChar const& s) { return std::string(static_cast<char const*>(s), static_cast<std::size_t>(s.len())); }

BinChar Make(std::string const& s) { return BinChar(s.data(), static_cast<int>(s.size())); }

// The replacement loop as callers expect it: left to right, no overlap.
int ReferenceTranslate(std::string& text, std::string const& from, std::string const& to) {
    if (from.empty()) return 0;
    std::string result;
    std::string rest = text;
    int count = 0;
    for (std::size_t at = rest.find(from); at != std::string::npos; at = rest.find(from)) {
        result += rest.substr(0, at) + to;
        rest = rest.substr(at + from.size());
        ++count;
    }
    text = result + rest;
    return count;
}

std::string ReferenceWord(std::string const& text, int n, char separator) {
    // Trim: leading spaces over all bytes, then the visible text, then trailing spaces.
    std::size_t start = text.find_first_not_of(' ');
    std::string trimmed = start == std::string::npos ? std::string() : text.substr(start);
    trimmed = trimmed.substr(0, std::strlen(trimmed.c_str()));
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    auto separates = [separator](char c) {
        return separator == ' ' ? static_cast<signed char>(c) <= 32 : c == separator;
    };
    std::string word;
    std::size_t pos = 0;
    for (int step = 0; step < n; ++step) {
        while (pos < trimmed.size() && separates(trimmed[pos])) ++pos;
        if (pos == trimmed.size()) return std::string();
        std::size_t const begin = pos;
        while (pos < trimmed.size() && !separates(trimmed[pos])) ++pos;
        word = trimmed.substr(begin, pos - begin);
    }
    return n > 0 ? word : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size < 4 || size > 4096) return 0;
    int const n = static_cast<signed char>(data[0]) % 6;
    char const separator = static_cast<char>(data[1]);
    std::size_t const fromLength = data[2] % 4;
    std::size_t const toLength = data[3] % 4;
    std::string const rest(reinterpret_cast<char const*>(data + 4), size - 4);
    std::string const from = rest.substr(0, fromLength);
    std::string const to = rest.substr(std::min(fromLength, rest.size()), toLength);
    std::string const text = rest.substr(std::min(fromLength + toLength, rest.size()));

    BinChar const subject = Make(text);
    Check(Bytes(subject.GetWord(n, separator)) == ReferenceWord(text, n, separator));

    std::string expected = text;
    int const expectedCount = ReferenceTranslate(expected, from, to);
    BinChar translated = Make(text);
    Check(translated.Translate(Make(from), Make(to)) == expectedCount);
    Check(Bytes(translated) == expected);

    int const start = static_cast<signed char>(data[1]);
    std::size_t const found = start < 0 || from.empty() ? std::string::npos : text.find(from, static_cast<std::size_t>(start));
    Check(subject.iStr(Make(from), start) == (found == std::string::npos ? subject.len() : static_cast<int>(found)));
    return 0;
}
