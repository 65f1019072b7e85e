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
// Files kept parsed (and open) at once; a process uses two message files.
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
    nlink_t links = 0;  // drops when the file is deleted or another is renamed over it
    off_t size = 0;
    std::int64_t modified = 0;  // ns
    std::int64_t changed = 0;   // ns; moves on every write and on changes of the file's times
    friend bool operator==(Stamp const&, Stamp const&) = default;
};

Stamp StampOf(struct stat const& st) {
    return Stamp{st.st_dev, st.st_ino, st.st_nlink, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

// The file a parse was read from, kept open: checking it with fstat costs
// no path walk, and its link count shows when the name has gone to another
// file (renamed over) or to none (deleted).
class OpenFile {
public:
    explicit OpenFile(int fd) noexcept : m_fd(fd) {}
    ~OpenFile() { ::close(m_fd); }
    OpenFile(OpenFile const&) = delete;
    OpenFile& operator=(OpenFile const&) = delete;
    int Descriptor() const noexcept { return m_fd; }

private:
    int m_fd;
};

struct Entry {
    std::string name;  // the name a lookup gave, as a Windows name
    std::shared_ptr<OpenFile const> file;
    Stamp stamp;
    bool trusted = false;
    std::uint64_t lastUse = 0;
    std::shared_ptr<ParsedProfile const> profile;
};

class ProfileCache {
public:
    std::shared_ptr<ParsedProfile const> Get(char const* name);

private:
    std::shared_ptr<ParsedProfile const> Load(char const* name);
    void Store(Entry entry);

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_clock = 0;
};

void ProfileCache::Store(Entry entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    entry.lastUse = ++m_clock;
    for (Entry& old : m_entries) {
        if (old.name == entry.name) {
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

// Opens and reads a whole regular file of at most kMaxFileBytes; null
// otherwise.  `st` is the state of the file as read.
std::shared_ptr<OpenFile const> ReadSmallFile(std::string const& path, std::string& bytes, struct stat& st) {
    int const fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    auto file = std::make_shared<OpenFile const>(fd);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) return nullptr;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t const got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the file shrank meanwhile: take what is there
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return file;
}

std::shared_ptr<ParsedProfile const> ProfileCache::Get(char const* name) {
    // The common case: the parse of this name is trusted and its open file
    // is unchanged (one fstat, no path walk, no allocation).
    std::shared_ptr<OpenFile const> file;
    std::shared_ptr<ParsedProfile const> profile;
    Stamp stamp;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Entry& entry : m_entries) {
            if (entry.trusted && entry.name == name) {
                entry.lastUse = ++m_clock;
                file = entry.file;
                profile = entry.profile;
                stamp = entry.stamp;
                break;
            }
        }
    }
    if (file) {
        struct stat st;
        if (::fstat(file->Descriptor(), &st) == 0 && st.st_nlink > 0 && StampOf(st) == stamp) return profile;
    }
    return Load(name);
}

// Resolves the name anew, reads and parses the file, and keeps the parse.
std::shared_ptr<ParsedProfile const> ProfileCache::Load(char const* name) {
    std::string path = SpelledPath(name);
    if (path.empty()) return nullptr;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        path = NativePath(name);  // a name that exists only in another case
        if (::stat(path.c_str(), &st) != 0) return nullptr;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) return nullptr;

    timespec readTime{};
    ::clock_gettime(CLOCK_REALTIME, &readTime);
    std::string bytes;
    struct stat readStat;
    std::shared_ptr<OpenFile const> file = ReadSmallFile(path, bytes, readStat);
    if (!file) return nullptr;

    Entry entry;
    entry.name = name;
    entry.file = std::move(file);
    entry.stamp = StampOf(readStat);
    std::int64_t const lastChange = std::max(entry.stamp.modified, entry.stamp.changed);
    entry.trusted = Nanoseconds(readTime) - lastChange > kStampSlackNs;
    entry.profile = std::make_shared<ParsedProfile const>(bytes);
    std::shared_ptr<ParsedProfile const> profile = entry.profile;
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
