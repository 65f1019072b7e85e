#include "platform/profile.h"

#include "platform/files.h"
#include "platform/ini_parser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace zelk::os {

namespace {

// Files kept parsed at once; a process uses two message files.
constexpr std::size_t kMaxCachedFiles = 8;
// File systems stamp modifications coarsely (a timer tick on ext4, whole
// seconds elsewhere, two on FAT), so a file rewritten in place within one
// tick of being read may keep size, inode and times.  A parse taken less
// than this long after the file's last change is not trusted: the next
// lookup reads the file again.
constexpr std::int64_t kStampSlackNs = 2'000'000'000;

std::int64_t Nanoseconds(timespec const& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// Which file a name resolves to, and its state: another file behind the
// name (renamed over, a link repointed, a folder swapped) has another
// device or inode, a file rewritten in place another size or times.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;  // ns
    std::int64_t changed = 0;  // ns; moves on every write and on changes of the file's times
    friend bool operator==(Stamp const&, Stamp const&) = default;
};

Stamp StampOf(struct stat const& st) {
    return Stamp{st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(Descriptor const&) = delete;
    Descriptor& operator=(Descriptor const&) = delete;
    int Get() const noexcept { return m_fd; }

private:
    int m_fd;
};

// Reads the whole regular file at `path`; `st` is its state as read.  A file
// that memory cannot hold is one that cannot be read.
bool ReadRegularFile(std::string const& path, std::string& bytes, struct stat& st) {
    // Non-blocking, so that a FIFO put in a file's place does not hang the lookup.
    Descriptor const fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    try {
        if (static_cast<std::uintmax_t>(st.st_size) > bytes.max_size()) return false;
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (std::bad_alloc const&) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t const got = ::pread(fd.Get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;  // the file shrank meanwhile: take what is there
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return true;
}

struct Entry {
    std::string name;  // the name a lookup gave, as a Windows name
    std::string path;  // what it resolved to
    Stamp stamp;
    bool trusted = false;
    std::uint64_t lastUse = 0;
    std::shared_ptr<ParsedProfile const> profile;
};

class ProfileCache {
public:
    std::shared_ptr<ParsedProfile const> Get(char const* name);
    // Resolves `name` to the path of an existing file; false when it names none.
    bool Resolve(char const* name, std::string& path, struct stat& st);

private:
    std::shared_ptr<ParsedProfile const> Load(char const* name, std::string const& path);
    void Store(Entry entry);
    void Drop(char const* name);

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_clock = 0;
};

// The path as spelled is tried first.  A name whose spelling exists only in
// another case goes to the path it resolved to before, as long as that
// exists (a rival spelling that appears later is not looked for), and only
// then to a new case-blind search of its directories.
bool ProfileCache::Resolve(char const* name, std::string& path, struct stat& st) {
    SpelledPath(name, path);
    if (::stat(path.c_str(), &st) == 0) return true;
    path.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Entry const& entry : m_entries) {
            if (entry.name == name) path = entry.path;
        }
    }
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) return true;
    path = NativePath(name);
    return ::stat(path.c_str(), &st) == 0;
}

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
    *std::min_element(m_entries.begin(), m_entries.end(),
                      [](Entry const& a, Entry const& b) { return a.lastUse < b.lastUse; }) = std::move(entry);
}

void ProfileCache::Drop(char const* name) {
    std::shared_ptr<ParsedProfile const> gone;  // released after the lock
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        if (entry->name == name) {
            gone = std::move(entry->profile);
            m_entries.erase(entry);
            return;
        }
    }
}

std::shared_ptr<ParsedProfile const> ProfileCache::Get(char const* name) {
    thread_local std::string path;  // keeps its storage: no allocation per lookup
    struct stat st;
    if (!Resolve(name, path, st) || !S_ISREG(st.st_mode)) {
        Drop(name);  // the file is gone: nothing of it is kept
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Entry& entry : m_entries) {
            if (entry.name == name) {
                if (!entry.trusted || !(entry.stamp == StampOf(st))) break;
                entry.lastUse = ++m_clock;
                return entry.profile;
            }
        }
    }
    return Load(name, path);
}

// Reads and parses the file and keeps the parse, stamped with the state of
// the file as it was read.
std::shared_ptr<ParsedProfile const> ProfileCache::Load(char const* name, std::string const& path) {
    timespec readTime{};
    ::clock_gettime(CLOCK_REALTIME, &readTime);
    std::string bytes;
    struct stat st;
    if (!ReadRegularFile(path, bytes, st)) {
        Drop(name);
        return nullptr;
    }
    Entry entry;
    entry.name = name;
    entry.path = path;
    entry.stamp = StampOf(st);
    entry.trusted = Nanoseconds(readTime) - std::max(entry.stamp.modified, entry.stamp.changed) > kStampSlackNs;
    try {
        entry.profile = std::make_shared<ParsedProfile const>(bytes);
    } catch (std::bad_alloc const&) {
        Drop(name);  // read, but too large to parse: as unreadable as a file memory cannot hold
        return nullptr;
    }
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
    std::shared_ptr<ParsedProfile const> const profile =
        (fileName != nullptr && *fileName != '\0') ? Cache().Get(fileName) : nullptr;
    if (profile) return profile->Lookup(section, key, defaultText, buffer, size);
    static ParsedProfile const* const missing = new ParsedProfile("");  // a missing file reads as an empty one
    return missing->Lookup(section, key, defaultText, buffer, size);
}

int IsProfileReadable(char const* fileName) {
    if (fileName == nullptr || *fileName == '\0') return 0;
    return Cache().Get(fileName) != nullptr ? 1 : 0;
}

bool ReadProfileBytes(char const* fileName, std::string& bytes) {
    if (fileName == nullptr || *fileName == '\0') return false;
    std::string path;
    struct stat st;
    return Cache().Resolve(fileName, path, st) && ReadRegularFile(path, bytes, st);
}

}  // namespace zelk::os
