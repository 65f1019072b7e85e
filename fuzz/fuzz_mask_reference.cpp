// MaskenFit on arbitrary names and masks: no crash or overrun, "*" and "*.*"
// take everything, a name without wildcards fits itself in either case.
// Then against a backtracking matcher, on the inputs where taking the
// first occurrence of each literal after a star cannot differ from trying
// every occurrence: every such literal occurs at most once in the name.
//
// Both share the mask rules that are not about backtracking: A-Z fold to
// a-z, "*.*" means "*", a "?" right after a star adds nothing, and a "?"
// left over when the name is used up matches nothing.
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

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool Wild(char c) { return c == '*' || c == '?'; }

std::string Folded(std::string s) {
    for (char& c : s) c = Fold(c);
    return s;
}

// Stars followed by stars and question marks collapse into one star.
std::string Normalise(std::string const& mask) {
    if (mask == "*.*") return "*";
    std::string out;
    for (std::size_t i = 0; i < mask.size();) {
        if (mask[i] == '*') {
            out += '*';
            while (i < mask.size() && Wild(mask[i])) ++i;
        } else {
            out += mask[i++];
        }
    }
    return out;
}

bool Backtrack(char const* name, char const* mask) {
    if (*name == 0) {
        while (Wild(*mask)) ++mask;
        return *mask == 0;
    }
    if (*mask == '*') {
        for (char const* p = name;; ++p) {
            if (Backtrack(p, mask + 1)) return true;
            if (*p == 0) return false;
        }
    }
    if (*mask == 0) return false;
    if (*mask == '?' || *mask == *name) return Backtrack(name + 1, mask + 1);
    return false;
}

std::size_t Occurrences(std::string const& text, std::string const& literal) {
    std::size_t count = 0;
    for (std::size_t at = text.find(literal); at != std::string::npos; at = text.find(literal, at + 1)) ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    auto const* bytes = reinterpret_cast<char const*>(data);
    void const* zero = std::memchr(bytes, 0, size);
    std::size_t const maskLength = zero ? static_cast<std::size_t>(static_cast<char const*>(zero) - bytes) : size;
    std::string const mask(bytes, maskLength);
    std::size_t const nameStart = maskLength < size ? maskLength + 1 : size;
    std::string const name(bytes + nameStart, std::strlen(std::string(bytes + nameStart, size - nameStart).c_str()));

    BinChar const subject(name.c_str());
    bool const fits = subject.MaskenFit(mask.c_str());
    Check(subject.MaskenFit("*") && subject.MaskenFit("*.*"));
    if (name.find_first_of("*?") == std::string::npos)
        Check(subject.MaskenFit(name.c_str()) && subject.Upper().MaskenFit(name.c_str()));
    if (size > 256) return 0;  // the reference backtracks exponentially on long inputs

    std::string const normal = Folded(Normalise(mask));
    std::string const foldedName = Folded(name);
    if (std::count(normal.begin(), normal.end(), '*') > 4) return 0;
    // Skip inputs where a literal after a star occurs more than once.
    for (std::size_t star = normal.find('*'); star != std::string::npos; star = normal.find('*', star + 1)) {
        std::size_t const begin = star + 1;
        std::size_t end = begin;
        while (end < normal.size() && !Wild(normal[end])) ++end;
        if (end > begin && Occurrences(foldedName, normal.substr(begin, end - begin)) > 1) return 0;
    }
    Check(fits == Backtrack(foldedName.c_str(), normal.c_str()));
    return 0;
}
