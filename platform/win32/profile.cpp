#include "platform/profile.h"

#include "platform/win32/win32.h"

#include <cstdio>
#include <memory>
#include <new>

namespace zelk::os {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

unsigned long GetProfileText(char const* fileName, char const* section, char const* key, char const* defaultText,
                             char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) return 0;
    return ::GetPrivateProfileStringA(section, key, defaultText, buffer, static_cast<DWORD>(size), fileName);
}

int IsProfileReadable(char const* fileName) {
    if (fileName == nullptr || *fileName == '\0') return 0;
    return File(std::fopen(fileName, "rt")) ? 1 : 0;
}

bool ReadProfileBytes(char const* fileName, std::string& bytes) {
    if (fileName == nullptr || *fileName == '\0') return false;
    File const file(std::fopen(fileName, "rb"));
    if (!file) return false;
    bytes.clear();
    char chunk[65536];
    try {
        while (std::size_t const got = std::fread(chunk, 1, sizeof chunk, file.get())) bytes.append(chunk, got);
    } catch (std::bad_alloc const&) {
        return false;
    }
    return std::ferror(file.get()) == 0;
}

}  // namespace zelk::os
