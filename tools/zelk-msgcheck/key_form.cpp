#include "key_form.h"

#include "errors/message_key.h"
#include "findings.h"
#include "platform/codepage.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace zelk::msgcheck {

namespace {

bool AllOf(std::string const& text, char const* allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

constexpr char kDigits[] = "0123456789";
constexpr char kHexDigits[] = "0123456789abcdefABCDEF";

// The code a key means read in `base`, when it is one that fits the 32 bits
// of a code (hexadecimal as the unsigned pattern, as "%04x" writes it).
bool ReadCode(std::string text, int base, long long& code) {
    bool const negative = base == 10 && !text.empty() && text.front() == '-';
    if (negative || (base == 10 && !text.empty() && text.front() == '+')) text.erase(0, 1);
    if (!AllOf(text, base == 10 ? kDigits : kHexDigits) || text.size() > 10) return false;
    long long const value = std::strtoll(text.c_str(), nullptr, base);
    if (base == 16) {
        if (value > 0xFFFFFFFFLL) return false;
        code = static_cast<int>(static_cast<unsigned int>(value));
        return true;
    }
    code = negative ? -value : value;
    return code >= INT_MIN && code <= INT_MAX;
}

}  // namespace

KeyForm ClassifyKey(std::string const& section, std::string const& key) {
    KeyForm form;
    bool const hex = zelk::HexMessageKeys(section.c_str());
    std::string folded = key;
    for (char& c : folded) c = os::AsciiLower(c);
    long long code = 0;
    if (ReadCode(folded, hex ? 16 : 10, code) &&
        zelk::MakeMessageKey(section.c_str(), static_cast<int>(code)).text == folded) {
        form.live = true;
        return form;
    }
    // Which code the key seems to mean.  In a decimal section a key of four
    // or more hexadecimal digits is the hexadecimal form written into the
    // wrong section; otherwise digits read as decimal, anything else with
    // hexadecimal letters as hexadecimal.
    bool const hexShape = folded.size() >= 4 && AllOf(folded, kHexDigits);
    if (!hex && hexShape && ReadCode(folded, 16, code)) {
        form.readAs = "hexadecimal";
    } else if (ReadCode(folded, 10, code)) {
        form.readAs = "decimal";
    } else if (ReadCode(folded, 16, code)) {
        form.readAs = "hexadecimal";
    } else {
        return form;
    }
    form.code = code;
    form.instead = zelk::MakeMessageKey(section.c_str(), static_cast<int>(code)).text;
    return form;
}

std::string KeyRule(std::string const& section) {
    char first[8];
    std::snprintf(first, sizeof first, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(section[0])));
    std::string const start = "'" + Shown(section.substr(0, 1)) + "' (" + first + ")";
    if (zelk::HexMessageKeys(section.c_str())) {
        return "type names that start with " + start +
               " take codes as four or more lower-case hexadecimal digits (a first byte from 0x60 to 0x7F)";
    }
    return "type names that start with " + start +
           " take codes in decimal (only a first byte from 0x60 to 0x7F means hexadecimal)";
}

}  // namespace zelk::msgcheck
