// BinChar on arbitrary bytes; the first byte picks the members under test.
// 0: hexadecimal text, whose round trip bytes -> hex -> bytes holds for every
//    input in either case of the digits, and HexToBin on arbitrary text stops
//    cleanly at the first bad digit.
// 1: the path members: no crash, no overrun, and results that hang together
//    (the folder is a prefix of the full name, the file name its rest, a
//    reduced path is never empty); a reduced drive name equals a plain
//    step-by-step reference.
// 2: GetWord, Translate and iStr, each checked against a plain reference
//    written on std::string.
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

bool SameBytes(BinChar const& a, BinChar const& b) {
    return a.len() == b.len() && std::memcmp(a, b, static_cast<std::size_t>(a.len())) == 0;
}

void CheckTerminated(BinChar const& s) { Check(s.len() >= 0 && static_cast<char const*>(s)[s.len()] == 0); }

bool StartsWith(BinChar const& s, BinChar const& prefix) {
    return prefix.len() <= s.len() && std::memcmp(s, prefix, static_cast<std::size_t>(prefix.len())) == 0;
}

std::string Bytes(BinChar const& s) {
    return std::string(static_cast<char const*>(s), static_cast<std::size_t>(s.len()));
}

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

// ReducePath the slow, obvious way, on a drive name: the first "\.." (only
// when there is none, the first "/..") goes with the byte after it and the
// folder before it (none below the top), and the search starts over.
std::string ReferenceReduce(std::string const& full) {
    std::string tail = full.substr(1);  // the drive letter stays
    for (std::size_t at;
         (at = tail.find("\\..")) != std::string::npos || (at = tail.find("/..")) != std::string::npos;) {
        std::size_t folder = at;
        while (folder > 0 && tail[folder - 1] != '\\' && tail[folder - 1] != '/') --folder;
        tail = tail.substr(0, folder > 0 ? folder : at + 1) + tail.substr(std::min(at + 4, tail.size()));
    }
    ReferenceTranslate(tail, "\\.\\", "\\");
    ReferenceTranslate(tail, "\\.", "");
    return full.substr(0, 1) + tail;
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

void FuzzHex(std::uint8_t const* data, std::size_t size) {
    if (size > (1u << 20)) return;
    BinChar const bytes(data, static_cast<int>(size));
    BinChar const hex = bytes.BinToHex();
    Check(hex.len() == 2 * bytes.len());
    CheckTerminated(hex);
    Check(SameBytes(hex.HexToBin(), bytes));
    Check(SameBytes(hex.Lower().HexToBin(), bytes));

    // Arbitrary text: the bytes made are those of the longest valid prefix.
    BinChar const decoded = bytes.HexToBin();
    Check(2 * decoded.len() <= bytes.len());
    BinChar const again = decoded.BinToHex();
    Check(std::memcmp(again, bytes.Upper(), static_cast<std::size_t>(again.len())) == 0);
}

void FuzzPath(std::uint8_t const* data, std::size_t size) {
    if (size < 2 || size > 4096) return;
    int const levels = static_cast<signed char>(data[0]);
    std::size_t const split = 2 + data[1] % (size - 1);  // in [2, size]: where the joined path starts
    BinChar const name(data + 2, static_cast<int>(split - 2));
    BinChar const path(data + split, static_cast<int>(size - split));

    int root = -1;
    BinChar const full = name.FullFileName(root);
    CheckTerminated(full);
    Check(root >= 0 && ((root == 0) == (full.len() == 0) || root == 3));

    BinChar const directory = name.Directory(levels);
    CheckTerminated(directory);
    Check(StartsWith(full, directory));

    BinChar const all = name.Directory(0);
    BinChar const file = name.FileName();
    CheckTerminated(file);
    if (all.len() == 0)
        Check(file.len() == full.len());
    else
        Check(all.len() + 1 + file.len() == full.len() || file.len() == 0);

    BinChar const reduced = name.ReducePath();
    CheckTerminated(reduced);
    if (root == 3 && full.len() > 2 && Bytes(full)[1] == ':') Check(Bytes(reduced) == ReferenceReduce(Bytes(full)));
    Check(reduced.len() > 0 && reduced.len() <= full.len() + 1);

    CheckTerminated(name.AddPath(path));
    BinChar const extended = name.SetExtension(static_cast<char const*>(path));
    CheckTerminated(extended);
}

void FuzzText(std::uint8_t const* data, std::size_t size) {
    if (size < 4 || size > 4096) return;
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
    std::size_t const found =
        start < 0 || from.empty() ? std::string::npos : text.find(from, static_cast<std::size_t>(start));
    Check(subject.iStr(Make(from), start) == (found == std::string::npos ? subject.len() : static_cast<int>(found)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size == 0) return 0;
    switch (data[0] % 3) {
        case 0: FuzzHex(data + 1, size - 1); break;
        case 1: FuzzPath(data + 1, size - 1); break;
        default: FuzzText(data + 1, size - 1); break;
    }
    return 0;
}
