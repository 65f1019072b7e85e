// The exported system queries: the priority table and the version tests over
// what platform/system.h asks the operating system.
#include <zelk/system.h>

#include "platform/files.h"
#include "platform/system.h"
#include "util/windows_version.h"

namespace {

// Indexed by ePriorityClass.
constexpr std::uint32_t kPriorityClasses[] = {
    zelk::os::kIdlePriorityClass,
    zelk::os::kNormalPriorityClass,
    zelk::os::kHighPriorityClass,
    zelk::os::kRealtimePriorityClass,
};
constexpr int kPriorityCount = static_cast<int>(sizeof(kPriorityClasses) / sizeof(kPriorityClasses[0]));

// A result into the caller's buffer, cut and terminated as snprintf does.
std::size_t CopyOut(std::string const& text, char* buffer, std::size_t size) {
    if (buffer != nullptr && size > 0) {
        std::size_t const copied = text.size() < size ? text.size() : size - 1;
        text.copy(buffer, copied);
        buffer[copied] = '\0';
    }
    return text.size();
}

}  // namespace

int SetProcessPriority(ePriorityClass value) {
    int const index = static_cast<int>(value);
    if (index < 0 || index >= kPriorityCount) {
        return 0;
    }
    zelk::os::SetPriorityClass(kPriorityClasses[index]);
    return 1;
}

ePriorityClass GetProcessPriority() {
    std::uint32_t const current = zelk::os::GetPriorityClass();
    for (int i = 0; i < kPriorityCount; ++i) {
        if (kPriorityClasses[i] == current) {
            return static_cast<ePriorityClass>(i);
        }
    }
    return PriorityNormal;
}

int GetSpecialFolder(int /*folder: always the personal documents folder*/, char* path) {
    return zelk::os::GetPersonalFolder(path);
}

void GetWindowsVersion(unsigned long& major, unsigned long& minor) {
    std::uint32_t const word = zelk::os::GetVersionWord();
    major = zelk::VersionMajor(word);
    minor = zelk::VersionMinor(word);
}

int IsWindowsNTOrHigher() { return zelk::IsNTFamily(zelk::os::GetVersionWord()); }

int IsWindows2kOrHigher() { return zelk::Is2kOrHigher(zelk::os::GetVersionWord()); }

int IsWindowsXPOrHigher() { return zelk::IsXPOrHigher(zelk::os::GetVersionWord()); }

int IsWinME() { return zelk::IsME(zelk::os::GetVersionWord()); }

std::size_t GetProgramFolder(char* path, std::size_t size) { return CopyOut(zelk::os::ProgramFolder(), path, size); }

std::size_t GetNativePath(char const* name, char* path, std::size_t size) {
    return CopyOut(zelk::os::NativePath(name), path, size);
}
