// Where the POSIX registry database lives, and making its folders.
#include "platform/posix/registry_store.h"
#include "platform/posix/home_folder.h"

#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zelk::os::registry {

bool DatabasePath(std::string& path) {
    if (char const* chosen = std::getenv("ZELK_REGISTRY"); chosen && *chosen) {
        path = chosen;
        return true;
    }
    // The XDG rules: a relative XDG_CONFIG_HOME is ignored.
    std::string config;
    if (char const* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        std::string const home = os::HomeFolder();
        if (home.empty()) {
            return false;
        }
        config = home + "/.config";
    }
    path = config + "/zelk/registry.db";
    return true;
}

long MakeParentFolders(std::string const& path) {
    std::string::size_type const last = path.rfind('/');
    if (last == std::string::npos || last == 0) {
        return kErrorSuccess;  // in the current folder or in the root
    }
    // Each folder on the way, from the top; ones that exist are fine.
    for (std::string::size_type slash = path.find('/', 1); slash != std::string::npos && slash <= last;
         slash = path.find('/', slash + 1)) {
        std::string const folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
            continue;
        }
        switch (errno) {
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        default:
            return kErrorPathNotFound;
        }
    }
    // EEXIST also covers a file in the way; say so now rather than through
    // SQLite's less telling "cannot open".
    struct stat info {};
    if (stat(path.substr(0, last).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return kErrorPathNotFound;
    }
    return kErrorSuccess;
}

}  // namespace zelk::os::registry
