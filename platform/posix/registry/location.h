// Where the POSIX registry files live, making their folders, and what kind
// of file system holds them.
//
// - HKEY_CURRENT_USER: the user file, $XDG_CONFIG_HOME/zelk/registry.db
//   (XDG_CONFIG_HOME defaults to ~/.config), made with its folders (0700)
//   on first use, private to the user (0600).
// - HKEY_LOCAL_MACHINE and HKEY_USERS: the machine file, $ZELK_MACHINE_REGISTRY
//   or /var/lib/zelk/machine.db, made (0644, folders 0755) by the first
//   process that may; every user reads it, whoever may write the file writes
//   it.  Where it is missing and cannot be made the two hives read as empty
//   and refuse writes with kErrorAccessDenied.
// - HKEY_CLASSES_ROOT: HKEY_LOCAL_MACHINE\Software\Classes (see connections.cpp).
// - $ZELK_REGISTRY names one file for every hive (tests, single-user set-ups);
//   with ZELK_MACHINE_REGISTRY also set, the machine hives live there.
#pragma once

#include <string>

namespace zelk::os::registry {

// Where the registry files live (see above).  `user` is empty when no place
// can be named (no ZELK_REGISTRY and no home folder); `machine` equals
// `user` when both roles share one file.
struct Locations {
    std::string user;
    std::string machine;
};
Locations FindLocations();
// Makes the folders above `path` with `mode`; a Windows error code.
long MakeParentFolders(std::string const& path, unsigned mode);

// Whether the file system that holds `path` shares files between hosts
// (NFS, SMB/CIFS, AFS, Ceph, 9P, cluster and FUSE file systems: FUSE may be
// sshfs, so it counts as one too).  Tests replace the probe.
bool IsNetworkFileSystem(std::string const& path);
using FileSystemProbe = unsigned long (*)(char const* path);  // statfs' f_type, 0 if unknown
void SetFileSystemProbe(FileSystemProbe probe);

}  // namespace zelk::os::registry
