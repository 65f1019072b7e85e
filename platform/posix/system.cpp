// The system queries on POSIX systems: nice values for priority classes, the
// XDG documents folder, and a version word of the NT family.
#include "platform/system.h"
#include "platform/posix/home_folder.h"

#include "platform/posix/documents_folder.h"
#include "platform/posix/live_threads.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace zelk::os {

namespace {

struct PriorityNice {
    std::uint32_t priorityClass;
    int nice;
};
constexpr PriorityNice kPriorityNice[] = {
    {kIdlePriorityClass, 19},
    {kNormalPriorityClass, 0},
    {kHighPriorityClass, -10},
    {kRealtimePriorityClass, -20},
};

std::string ReadFile(std::string const& name) {
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

void SetPriorityClass(std::uint32_t priorityClass) {
    int nice = 0;
    bool known = false;
    for (PriorityNice const& entry : kPriorityNice) {
        if (entry.priorityClass == priorityClass) {
            nice = entry.nice;
            known = true;
        }
    }
    if (!known) {
        return;
    }
    // Linux keeps a nice value per thread: the class moves the process's
    // base, and every thread keeps its level above or below it, as Win32
    // thread priorities stay relative to their process's class.  Raising it
    // needs privileges; a refusal is not reported, as the Win32 call's
    // outcome is not either.
    posix::SetProcessNice(nice);
}

std::uint32_t GetPriorityClass() {
    errno = 0;
    int const nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (nice == -1 && errno != 0) {
        return 0;
    }
    for (PriorityNice const& entry : kPriorityNice) {
        if (entry.nice == nice) {
            return entry.priorityClass;
        }
    }
    return kNormalPriorityClass;  // values between the four read as normal
}

int GetPersonalFolder(char* path) {
    if (!path) {
        return 0;
    }
    std::string const home = os::HomeFolder();
    std::string userDirs;
    if (char const* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        userDirs = ReadFile(std::string(config) + "/user-dirs.dirs");
    } else if (!home.empty()) {
        userDirs = ReadFile(home + "/.config/user-dirs.dirs");
    }
    std::string const folder =
        posix::WindowsPathForm(posix::DocumentsFolder(std::getenv("XDG_DOCUMENTS_DIR"), userDirs, home));
    if (folder.empty()) {
        return 0;  // no home to find the folder in
    }
    // A name that does not fit MAX_PATH is not cut to a wrong folder: the
    // buffer gets the empty text, as the shell's lookup leaves it.
    if (folder.size() >= kMaxPath) {
        path[0] = '\0';
    } else {
        std::memcpy(path, folder.c_str(), folder.size() + 1);
    }
    return 1;
}

std::uint32_t GetVersionWord() {
    // NT family (bit 31 clear), version 10.0; no Windows build to report.
    return 10u;
}

std::string ProgramFolder() {
    std::string path(256, '\0');
    for (;;) {
        ssize_t const length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            break;
        }
        path.resize(path.size() * 2);  // possibly cut: read again with more room
    }
    path.resize(path.rfind('/') + 1);  // an absolute name: there is a '/'
    return posix::WindowsPathForm(path);
}

}  // namespace zelk::os
