// BinChar::MaskenFit: wildcard masks with "*" and "?", case-blind for A-Z.
//
// The match never backtracks: after a star, the literal run that follows is
// taken at its first occurrence in the rest of the name and never
// reconsidered (so "a.txt.txt" does not fit "*.txt").  Callers filter
// registry and file names with it and rely on exactly this rule.
//
// Both texts are compared in place, lower-cased byte by byte as they are
// read, so no copy of the mask is made and a mask of any length is matched
// whole (there is no fixed buffer for the part after a star to outgrow).
// Each search after a star starts where the last one ended and is linear in
// what it passes, so a match takes time linear in the name plus the mask.
#include <zelk/binchar.h>

#include "platform/codepage.h"
#include "util/find_bytes.h"

#include <cstring>

namespace {

inline unsigned char Fold(unsigned char c) {
    return static_cast<unsigned char>(zelk::os::AsciiLower(static_cast<char>(c)));
}

bool IsWild(unsigned char c) { return c == '*' || c == '?'; }

// First position in [name, end) where the `count` bytes of `literal` stand,
// case-blind; null when there is none.  Linear in the bytes it passes, so
// the whole match is linear in the name and the mask together.
unsigned char const* FindFolded(unsigned char const* name, unsigned char const* end, unsigned char const* literal,
                                std::size_t count) {
    std::size_t const at =
        zelk::FindBytes<zelk::FoldedByte>(name, static_cast<std::size_t>(end - name), literal, count);
    return at == zelk::kNotFound ? nullptr : name + at;
}

}  // namespace

bool BinChar::MaskenFit(char const* mask) const {
    if (!mask) mask = "";
    if (std::strcmp(mask, "*.*") == 0) mask = "*";  // "*.*" also takes names without a dot

    auto const* name = reinterpret_cast<unsigned char const*>(m_data);
    auto const* const nameEnd = name + VisibleLength();
    auto const* m = reinterpret_cast<unsigned char const*>(mask);

    while (name != nameEnd) {
        unsigned char const c = *m;
        if (c == '?') {
            ++name;
            ++m;
        } else if (c == '*') {
            // A run of stars and question marks acts as one star.
            while (IsWild(*m)) ++m;
            if (*m == 0) return true;
            std::size_t count = 0;
            while (m[count] != 0 && !IsWild(m[count])) ++count;
            unsigned char const* const at = FindFolded(name, nameEnd, m, count);
            if (!at) return false;
            name = at + count;
            m += count;
        } else {
            // Includes the end of the mask: a zero never equals a name byte.
            if (Fold(c) != Fold(*name)) return false;
            ++name;
            ++m;
        }
    }
    while (IsWild(*m)) ++m;
    return *m == 0;
}
