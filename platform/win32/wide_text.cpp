#include "platform/win32/wide_text.h"

#include "platform/win32/win32.h"

namespace zelk::os {

std::wstring WideFromBytes(unsigned codePage, std::string_view bytes) {
    std::wstring text;
    int const length = static_cast<int>(bytes.size());
    int const size = bytes.empty() ? 0 : MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size));
        MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), size);
    }
    return text;
}

std::string BytesFromWide(unsigned codePage, std::wstring_view text) {
    std::string bytes;
    int const length = static_cast<int>(text.size());
    int const size =
        text.empty() ? 0 : WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size > 0) {
        bytes.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    }
    return bytes;
}

}  // namespace zelk::os
