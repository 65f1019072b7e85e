// Where the POSIX registry files live, making their folders, and what kind
// of file system holds them.
#include "platform/posix/registry/location.h"

#include "platform/posix/home_folder.h"

#include "platform/registry.h"

#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zelk::os::registry {

namespace {

std::string UserPath() {
    // The XDG rules: a relative XDG_CONFIG_HOME is ignored.
    std::string config;
    if (char const* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        std::string const home = os::HomeFolder();
        if (home.empty()) {
            return {};
        }
        config = home + "/.config";
    }
    return config + "/zelk/registry.db";
}

unsigned long StatfsType(char const* path) {
    struct statfs info {};
    return statfs(path, &info) == 0 ? static_cast<unsigned long>(info.f_type) : 0;
}

std::atomic<FileSystemProbe> g_probe{StatfsType};

}  // namespace

Locations FindLocations() {
    Locations found;
    char const* const single = std::getenv("ZELK_REGISTRY");
    char const* const machine = std::getenv("ZELK_MACHINE_REGISTRY");
    found.user = single && *single ? std::string(single) : UserPath();
    if (machine && *machine) {
        found.machine = machine;
    } else if (single && *single) {
        found.machine = found.user;  // one file for every hive
    } else {
        found.machine = "/var/lib/zelk/machine.db";
    }
    return found;
}

bool IsNetworkFileSystem(std::string const& path) {
    // The file's folder when the file is not there yet.
    std::string::size_type const slash = path.rfind('/');
    std::string const folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    FileSystemProbe const probe = g_probe.load();
    unsigned long type = probe(path.c_str());
    if (type == 0) {
        type = probe(folder.c_str());
    }
    switch (type & 0xFFFFFFFFul) {
        case 0x6969:  // NFS
        case 0x517B:  // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x5346414F:  // AFS
        case 0x6B414653:  // kAFS
        case 0x73757245:  // Coda
        case 0x564C:  // NCP
        case 0x00C36400:  // Ceph
        case 0x01021997:  // 9P
        case 0x01161970:  // GFS2
        case 0x7461636F:  // OCFS2
        case 0x0BD00BD0:  // Lustre
        case 0x65735546:  // FUSE
            return true;
        default: return false;
    }
}

void SetFileSystemProbe(FileSystemProbe probe) { g_probe.store(probe ? probe : StatfsType); }

long MakeParentFolders(std::string const& path, unsigned mode) {
    std::string::size_type const last = path.rfind('/');
    if (last == std::string::npos || last == 0) {
        return kErrorSuccess;  // in the current folder or in the root
    }
    // Each folder on the way, from the top; ones that exist are fine.
    for (std::string::size_type slash = path.find('/', 1); slash != std::string::npos && slash <= last;
         slash = path.find('/', slash + 1)) {
        std::string const folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), static_cast<mode_t>(mode)) == 0) {
            chmod(folder.c_str(), static_cast<mode_t>(mode));  // the umask may have taken what others need
            continue;
        }
        if (errno == EEXIST) {
            continue;
        }
        switch (errno) {
            case EACCES:
            case EPERM:
            case EROFS: return kErrorAccessDenied;
            default: return kErrorPathNotFound;
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
