// What the first bytes of a registry file say, read before the file is
// opened as a database.
#include "platform/posix/registry/file_header.h"

#include "platform/posix/registry/schema.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>

namespace zelk::os::registry {

Header ReadHeader(unsigned char const (&header)[100], long got, std::string const& path, bool& wal) {
    wal = false;
    if (got == 0) {
        return Header::kEmpty;
    }
    if (got != static_cast<long>(sizeof(header)) || std::memcmp(header, "SQLite format 3", 16) != 0) {
        return Header::kForeign;
    }
    wal = header[18] == 2;
    std::uint32_t const id = (std::uint32_t{header[68]} << 24) | (std::uint32_t{header[69]} << 16) |
                             (std::uint32_t{header[70]} << 8) | header[71];
    if (id == kApplicationId) {
        return Header::kOurs;
    }
    // This library marks a new file in its first commit, made before the
    // file goes into WAL mode, so the mark is in the file itself.  Files of
    // earlier versions went into WAL mode first: their mark may still be in
    // a log not yet folded in.  Only then does SQLite look (the side files
    // are there already).
    struct stat log {};
    if (id == 0 && wal && stat((path + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
        return Header::kAskSqlite;
    }
    return Header::kForeign;
}

}  // namespace zelk::os::registry
