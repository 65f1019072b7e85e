// The system's ANSI code page, through its own conversion calls: the same
// ones the registry's ANSI calls use, so a text converted here reaches the
// registry unchanged.
#include "platform/ansi_text.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/win32.h"

namespace zelk::os {

namespace {

LPCWSTR Wide(std::u16string_view text) { return reinterpret_cast<LPCWSTR>(text.data()); }

// The ANSI bytes of `text`; false when a character needed the default
// character (no ANSI form, or an unpaired surrogate).
bool Convert(std::u16string_view text, std::string& ansi) {
    ansi.clear();
    if (text.empty()) {
        return true;
    }
    UINT const page = GetACP();
    // A UTF-8 ANSI page (an option of newer systems) takes no default
    // character; it refuses unpaired surrogates instead.
    bool const utf8 = page == CP_UTF8;
    DWORD const flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const used = utf8 ? nullptr : &usedDefault;
    int const length = static_cast<int>(text.size());
    int const size = WideCharToMultiByte(page, flags, Wide(text), length, nullptr, 0, nullptr, used);
    if (size <= 0 || usedDefault) {
        return false;
    }
    ansi.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(page, flags, Wide(text), length, ansi.data(), size, nullptr, used);
    return !usedDefault;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }

}  // namespace

unsigned AnsiCodePage() { return GetACP(); }

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::wstring const wide = WideFromBytes(CP_ACP, ansi);
    return std::u16string(wide.begin(), wide.end());
}

bool Utf16ToAnsi(std::u16string_view text, std::string& ansi, std::size_t& bad) {
    if (Convert(text, ansi)) {
        return true;
    }
    // Find the first character without an ANSI form, one character (a
    // surrogate pair counts as one) at a time.
    ansi.clear();
    std::string piece;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t const length = IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
        if (!Convert(text.substr(i, length), piece)) {
            bad = i;
            return false;
        }
        ansi += piece;
        i += length;
    }
    bad = text.size();  // the whole failed, no piece did: cannot happen for these pages
    return false;
}

}  // namespace zelk::os
