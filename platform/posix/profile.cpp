#include "platform/profile.h"

#include "platform/files.h"
#include "platform/posix/ini_parser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zelk::os {

namespace {

// Message files are small; a file above this size is not parsed and gives
// no text, which bounds the memory one cached file can take.
constexpr off_t kMaxFileBytes = 1 << 20;
// Files kept parsed at once (a process uses two message files).
constexpr std::size_t kMaxCachedFiles = 8;
// File systems stamp modifications coarsely (a timer tick on ext4, whole
// seconds elsewhere, two on FAT), so a file rewritten in place within one
// tick of being read may keep size, inode and times.  A parse taken less
// than this long after the file's last change is not trusted: the next
// lookup reads the file again.
constexpr std::int64_t kStampSlackNs = 2'000'000'000;

std::int64_t Nanoseconds(timespec const& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;  // ns
    std::int64_t changed = 0;   // ns; moves on every write and rename too
    friend bool operator==(Stamp const&, Stamp const&) = default;
};

Stamp StampOf(struct stat const& st) {
    return Stamp{st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

struct Entry {
    std::string name;  // the name a lookup gave, as a Windows name
    std::string path;  // the POSIX path it resolved to
    Stamp stamp;
    bool trusted = false;
    std::uint64_t lastUse = 0;
    std::shared_ptr<ParsedProfile const> profile;
};

class ProfileCache {
public:
    std::shared_ptr<ParsedProfile const> Get(char const* name);

private:
    std::shared_ptr<ParsedProfile const> Find(std::string const& path, Stamp const& stamp);
    std::string ResolvedBefore(char const* name);
    void Store(Entry entry);

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_clock = 0;
};

std::shared_ptr<ParsedProfile const> ProfileCache::Find(std::string const& path, Stamp const& stamp) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Entry& entry : m_entries) {
        if (entry.path == path && entry.trusted && entry.stamp == stamp) {
            entry.lastUse = ++m_clock;
            return entry.profile;
        }
    }
    return nullptr;
}

std::string ProfileCache::ResolvedBefore(char const* name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Entry const& entry : m_entries) {
        if (entry.name == name) return entry.path;
    }
    return std::string();
}

void ProfileCache::Store(Entry entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    entry.lastUse = ++m_clock;
    for (Entry& old : m_entries) {
        if (old.path == entry.path) {
            old = std::move(entry);
            return;
        }
    }
    if (m_entries.size() < kMaxCachedFiles) {
        m_entries.push_back(std::move(entry));
        return;
    }
    Entry* oldest = &m_entries.front();
    for (Entry& old : m_entries) {
        if (old.lastUse < oldest->lastUse) oldest = &old;
    }
    *oldest = std::move(entry);
}

// Reads a whole regular file of at most kMaxFileBytes; false otherwise.
bool ReadSmallFile(std::string const& path, std::string& bytes, struct stat& st) {
    int const fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileBytes;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t const got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;  // the file shrank meanwhile: take what is there
            done += static_cast<std::size_t>(got);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return ok;
}

std::shared_ptr<ParsedProfile const> ProfileCache::Get(char const* name) {
    // The common case costs one stat: the name as spelled exists.  Names
    // that only exist in another case (the English file's lower-cased
    // directories) reuse the path they resolved to before, and only a miss
    // there searches the directories again.
    std::string path = SpelledPath(name);
    struct stat st;
    if (path.empty()) return nullptr;
    if (::stat(path.c_str(), &st) != 0) {
        path = ResolvedBefore(name);
        if (path.empty() || ::stat(path.c_str(), &st) != 0) {
            path = NativePath(name);
            if (::stat(path.c_str(), &st) != 0) return nullptr;
        }
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) return nullptr;
    if (auto cached = Find(path, StampOf(st))) return cached;

    timespec readTime{};
    ::clock_gettime(CLOCK_REALTIME, &readTime);
    std::string bytes;
    struct stat readStat;
    if (!ReadSmallFile(path, bytes, readStat)) return nullptr;

    Entry entry;
    entry.name = name;
    entry.path = path;
    // The stamp of the file as read, so a change after the stat above
    // still shows at the next lookup.
    entry.stamp = StampOf(readStat);
    std::int64_t const lastChange = std::max(entry.stamp.modified, entry.stamp.changed);
    entry.trusted = Nanoseconds(readTime) - lastChange > kStampSlackNs;
    entry.profile = std::make_shared<ParsedProfile const>(bytes);
    auto profile = entry.profile;
    Store(std::move(entry));
    return profile;
}

ProfileCache& Cache() {
    // Never destroyed: lookups from other threads or from static destructors
    // may run while the process ends.
    static ProfileCache* const cache = new ProfileCache;
    return *cache;
}

}  // namespace

unsigned long GetProfileText(char const* fileName, char const* section, char const* key, char const* defaultText,
                             char* buffer, unsigned long size) {
    if (buffer == nullptr || size == 0) return 0;
    if (section == nullptr || key == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    std::shared_ptr<ParsedProfile const> const profile =
        (fileName != nullptr && *fileName != '\0') ? Cache().Get(fileName) : nullptr;
    if (!profile) return CopyProfileDefault(defaultText, buffer, size);
    return profile->Lookup(section, key, defaultText, buffer, size);
}

}  // namespace zelk::os
