// The order and sameness of registry names, as Windows compares them.
#include "platform/posix/registry/name_order.h"

#include "platform/codepage.h"

#include <cstddef>
#include <utility>

namespace zelk::os::registry {

namespace {

// The UTF-16 units of a UTF-8 name, upcased, one at a time.  A byte that
// starts no character (none is stored) stands for itself.
class UpperUnits {
public:
    explicit UpperUnits(std::string_view text) : m_text(text) {}
    bool Next(char16_t& unit) {
        if (m_low != 0) {
            unit = std::exchange(m_low, 0);
            return true;
        }
        if (m_pos >= m_text.size()) {
            return false;
        }
        auto const lead = static_cast<unsigned char>(m_text[m_pos]);
        if (lead < 0x80) {
            ++m_pos;
            unit = static_cast<char16_t>(AsciiUpper(static_cast<char>(lead)));
            return true;
        }
        std::size_t const at = m_pos;
        char32_t const c = DecodeUtf8(m_text, m_pos);
        if (c == kNoCharacter) {
            unit = static_cast<char16_t>(static_cast<unsigned char>(m_text[at]));
        } else if (c > 0xFFFF) {
            unit = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            m_low = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit = UpcaseUtf16(static_cast<char16_t>(c));
        }
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    char16_t m_low = 0;
};

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    // The order of CompareNamesNoCase, decoding the UTF-8 names as it goes.
    UpperUnits x(a), y(b);
    int tie = 0;
    for (;;) {
        char16_t p = 0, q = 0;
        bool const more = x.Next(p);
        if (more != y.Next(q)) {
            return more ? 1 : -1;
        }
        if (!more) {
            return tie;
        }
        if (int const order = CompareNameUnits(p, q, tie)) {
            return order;
        }
    }
}

}  // namespace zelk::os::registry
