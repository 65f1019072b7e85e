// A Windows tool's arguments from the wide command line, and its output the
// way the system's own console tools write it.
#include "platform/console.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/win32.h"

#include <shellapi.h>

namespace zelk::os {

namespace {

bool WriteAll(HANDLE handle, char const* data, std::size_t size) {
    while (size > 0) {
        DWORD const chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* const wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // No wide command line to be had: the ANSI arguments are the next best.
        for (int i = 1; i < argc; ++i) {
            arguments.emplace_back(argv[i]);
        }
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(BytesFromWide(CP_UTF8, wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

bool WriteText(StandardStream stream, std::string_view utf8) {
    HANDLE const handle = GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::wstring text;
    text.reserve(utf8.size() + utf8.size() / 16);
    for (wchar_t const c : WideFromBytes(CP_UTF8, utf8)) {
        if (c == L'\n') {
            text.push_back(L'\r');
        }
        text.push_back(c);
    }
    if (text.empty()) {
        return true;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    }
    UINT page = GetConsoleOutputCP();
    if (page == 0) {
        page = GetOEMCP();
    }
    std::string const bytes = BytesFromWide(page, text);
    return !bytes.empty() && WriteAll(handle, bytes.data(), bytes.size());  // empty: no such page
}

}  // namespace zelk::os
