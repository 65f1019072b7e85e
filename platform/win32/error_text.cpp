#include "platform/error_text.h"

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace zelk::os {

std::string SystemErrorText(long code) {
    wchar_t* text = nullptr;
    DWORD const length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length != 0) {
        std::u16string_view message(reinterpret_cast<char16_t const*>(text), length);
        while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ')) {
            message.remove_suffix(1);
        }
        Utf16ToUtf8(message, utf8);
    }
    ::LocalFree(text);
    return utf8.empty() ? "error " + std::to_string(code) : utf8;
}

}  // namespace zelk::os
