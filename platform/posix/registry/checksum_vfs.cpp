// The checksum layer (see checksum_vfs.h).  Every file goes through the
// default VFS: this layer never opens, closes or locks a file by itself.
//
// Where the checksums come from: SQLite writes pages straight from its page
// cache, so stamping the buffer in place keeps the cached copy right too
// (and so the copy later written to a rollback journal).  The write-ahead
// log is the one place where that is too late: SQLite has already summed
// the frame (its header and the page) into the log's running checksum when
// it hands the page over.  So after stamping a frame's page the layer sums
// that frame again from the previous frame's sum, as the log's format
// defines it, and writes the corrected sum into the frame header; the next
// frame, written by any connection, is corrected from that one in turn.
#include "platform/posix/registry/checksum_vfs.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace zelk::os::registry {

namespace {

constexpr unsigned char kMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', 0};
constexpr std::uint32_t kApplicationId = 0x5A454C4B;  // "ZELK"
constexpr int kWalHeaderBytes = 32;
constexpr int kFrameHeaderBytes = 24;

enum class Kind { kMain, kLog, kJournal, kOther };

std::uint32_t BigEndian32(unsigned char const* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void PutBigEndian32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::uint64_t Load64(unsigned char const* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

bool IsPageSize(int amount) { return amount >= 512 && amount <= 65536 && (amount & (amount - 1)) == 0; }

bool IsPageOne(void const* buffer, int amount) { return amount >= 100 && std::memcmp(buffer, kMagic, 16) == 0; }

// The page's sum over all but its last kChecksumBytes, read as little-endian
// words whatever the machine, so a file moves between machines.  Two
// multiply-rotate lanes: every bit of every word reaches the result.
std::uint64_t PageSum(unsigned char const* page, int size) {
    std::uint64_t a = 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(size);
    std::uint64_t b = 0xC2B2AE3D27D4EB4Fu;
    int const words = (size - kChecksumBytes) / 8;
    for (int i = 0; i < words; ++i) {
        std::uint64_t const w = Load64(page + i * 8);
        if (i & 1) {
            b = (b ^ w) * 0x9E3779B97F4A7C15u;
            b = b << 31 | b >> 33;
        } else {
            a = (a ^ w) * 0xC2B2AE3D27D4EB4Fu;
            a = a << 29 | a >> 35;
        }
    }
    std::uint64_t h = a ^ (b << 17 | b >> 47);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDu;
    h ^= h >> 33;
    return h;
}

void Stamp(unsigned char* page, int size) {
    std::uint64_t const sum = PageSum(page, size);
    for (int i = 0; i < kChecksumBytes; ++i)
        page[size - kChecksumBytes + i] = static_cast<unsigned char>(sum >> (8 * i));
}

bool Stamped(unsigned char const* page, int size) {
    return Load64(page + size - kChecksumBytes) == PageSum(page, size);
}

// The write-ahead log's own running sum over `bytes` (a multiple of 8),
// continued from `sum`: pairs of 32-bit words in the byte order the log's
// magic number names.
void LogSum(unsigned char const* bytes, int size, bool bigEndian, std::uint32_t sum[2]) {
    for (int i = 0; i < size; i += 8) {
        std::uint32_t x0, x1;
        if (bigEndian) {
            x0 = BigEndian32(bytes + i);
            x1 = BigEndian32(bytes + i + 4);
        } else {
            x0 = static_cast<std::uint32_t>(Load64(bytes + i));
            x1 = static_cast<std::uint32_t>(Load64(bytes + i) >> 32);
        }
        sum[0] += x0 + sum[1];
        sum[1] += x1 + sum[0];
    }
}

// The VFS below this one.
sqlite3_vfs* Below(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

struct File {
    sqlite3_file base;  // first: SQLite sees a File as an sqlite3_file
    sqlite3_vfs* below;  // the default VFS
    Kind kind;
    File* main;  // the database this log or journal belongs to, or this file
    int reserved;  // bytes page 1 reserves, as last seen; -1 before
    bool damaged;
    std::string* mark;  // where the damage mark goes (main files only)

    sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }

    // Page 1 as it passes: the reserve it declares for the other pages.
    void Saw(unsigned char const* page, int size) {
        if (main && IsPageOne(page, size)) main->reserved = page[20];
    }

    // Whether `page` must carry a checksum.
    bool MustBeStamped(unsigned char const* page, int size) const {
        if (!main) return false;
        if (!IsPageOne(page, size)) return main->reserved == kChecksumBytes;
        std::uint32_t const version = BigEndian32(page + 60);
        return page[20] == kChecksumBytes || (BigEndian32(page + 68) == kApplicationId && version > 1);
    }

    bool IsDamaged() {
        if (!main) return false;
        if (main->damaged) return true;
        int exists = 0;
        if (main->mark && below->xAccess(below, main->mark->c_str(), SQLITE_ACCESS_EXISTS, &exists) == SQLITE_OK &&
            exists) {
            main->damaged = true;
        }
        return main->damaged;
    }

    // Records the damage for this process and, through the mark, for all.
    void MarkDamaged() {
        if (!main) return;
        main->damaged = true;
        if (!main->mark) return;
        std::unique_ptr<unsigned char[]> space(new (std::nothrow) unsigned char[below->szOsFile]);
        if (!space) return;
        auto* file = reinterpret_cast<sqlite3_file*>(space.get());
        std::memset(file, 0, below->szOsFile);
        // As a journal, so the mark gets the database's owner and mode.
        int const flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MAIN_JOURNAL;
        int opened = 0;
        int const rc = below->xOpen(below, main->mark->c_str(), file, flags, &opened);
        if (rc == SQLITE_OK) file->pMethods->xSync(file, SQLITE_SYNC_NORMAL);
        if (file->pMethods) file->pMethods->xClose(file);
    }
};

// The log frame whose page starts at `pageOffset` (just written) gets its
// running sum again: from the previous frame's (or the log header's), over
// the first 8 bytes of its header and the stamped page.
int ResumLogFrame(File* file, unsigned char const* page, int size, sqlite3_int64 pageOffset) {
    sqlite3_file* real = file->Real();
    sqlite3_int64 const frame = pageOffset - kFrameHeaderBytes;
    if (frame < kWalHeaderBytes || (frame - kWalHeaderBytes) % (size + kFrameHeaderBytes) != 0) {
        return SQLITE_OK;  // not a frame's page: nothing to correct
    }
    unsigned char log[kWalHeaderBytes];
    unsigned char header[kFrameHeaderBytes];
    unsigned char previous[8];
    int rc = real->pMethods->xRead(real, log, sizeof log, 0);
    if (rc == SQLITE_OK) rc = real->pMethods->xRead(real, header, sizeof header, frame);
    if (rc == SQLITE_OK && frame == kWalHeaderBytes) {
        std::memcpy(previous, log + 24, 8);
    } else if (rc == SQLITE_OK) {
        rc = real->pMethods->xRead(real, previous, sizeof previous, frame - size - kFrameHeaderBytes + 16);
    }
    if (rc != SQLITE_OK) return rc;
    std::uint32_t sum[2] = {BigEndian32(previous), BigEndian32(previous + 4)};
    bool const bigEndian = (BigEndian32(log) & 1) != 0;
    LogSum(header, 8, bigEndian, sum);
    LogSum(page, size, bigEndian, sum);
    unsigned char out[8];
    PutBigEndian32(out, sum[0]);
    PutBigEndian32(out + 4, sum[1]);
    return real->pMethods->xWrite(real, out, sizeof out, frame + 16);
}

File* AsFile(sqlite3_file* file) { return reinterpret_cast<File*>(file); }

int Close(sqlite3_file* raw) {
    File* file = AsFile(raw);
    int const rc = file->Real()->pMethods->xClose(file->Real());
    delete file->mark;
    file->mark = nullptr;
    return rc;
}

int Read(sqlite3_file* raw, void* buffer, int amount, sqlite3_int64 offset) {
    File* file = AsFile(raw);
    int const rc = file->Real()->pMethods->xRead(file->Real(), buffer, amount, offset);
    if (rc != SQLITE_OK || !IsPageSize(amount) || file->kind == Kind::kOther) {
        return rc;  // a short read is SQLite's to judge: past the end is zeros
    }
    if (file->kind == Kind::kMain && offset % amount != 0) return rc;
    auto const* page = static_cast<unsigned char const*>(buffer);
    if (file->MustBeStamped(page, amount) && !Stamped(page, amount)) {
        file->MarkDamaged();
        return SQLITE_IOERR_DATA;
    }
    file->Saw(page, amount);
    return rc;
}

int Write(sqlite3_file* raw, void const* buffer, int amount, sqlite3_int64 offset) {
    File* file = AsFile(raw);
    sqlite3_file* real = file->Real();
    if (file->kind == Kind::kOther) return real->pMethods->xWrite(real, buffer, amount, offset);
    if (file->IsDamaged()) return SQLITE_IOERR_DATA;
    bool const page =
        file->kind != Kind::kJournal && IsPageSize(amount) && (file->kind == Kind::kLog || offset % amount == 0);
    if (!page) return real->pMethods->xWrite(real, buffer, amount, offset);
    // SQLite lends its cached page: stamping it keeps the cache right.
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(buffer));
    file->Saw(bytes, amount);
    bool const stamp = file->MustBeStamped(bytes, amount);
    if (stamp) Stamp(bytes, amount);
    int rc = real->pMethods->xWrite(real, bytes, amount, offset);
    if (rc == SQLITE_OK && stamp && file->kind == Kind::kLog) rc = ResumLogFrame(file, bytes, amount, offset);
    return rc;
}

int Truncate(sqlite3_file* raw, sqlite3_int64 size) {
    File* file = AsFile(raw);
    if (file->kind != Kind::kOther && file->IsDamaged()) return SQLITE_IOERR_DATA;
    return file->Real()->pMethods->xTruncate(file->Real(), size);
}

int Sync(sqlite3_file* raw, int flags) { return AsFile(raw)->Real()->pMethods->xSync(AsFile(raw)->Real(), flags); }

int FileSize(sqlite3_file* raw, sqlite3_int64* size) {
    return AsFile(raw)->Real()->pMethods->xFileSize(AsFile(raw)->Real(), size);
}

int Lock(sqlite3_file* raw, int level) { return AsFile(raw)->Real()->pMethods->xLock(AsFile(raw)->Real(), level); }

int Unlock(sqlite3_file* raw, int level) { return AsFile(raw)->Real()->pMethods->xUnlock(AsFile(raw)->Real(), level); }

int CheckReservedLock(sqlite3_file* raw, int* out) {
    return AsFile(raw)->Real()->pMethods->xCheckReservedLock(AsFile(raw)->Real(), out);
}

int FileControl(sqlite3_file* raw, int op, void* arg) {
    return AsFile(raw)->Real()->pMethods->xFileControl(AsFile(raw)->Real(), op, arg);
}

int SectorSize(sqlite3_file* raw) { return AsFile(raw)->Real()->pMethods->xSectorSize(AsFile(raw)->Real()); }

int DeviceCharacteristics(sqlite3_file* raw) {
    return AsFile(raw)->Real()->pMethods->xDeviceCharacteristics(AsFile(raw)->Real());
}

int ShmMap(sqlite3_file* raw, int region, int size, int extend, void volatile** out) {
    return AsFile(raw)->Real()->pMethods->xShmMap(AsFile(raw)->Real(), region, size, extend, out);
}

int ShmLock(sqlite3_file* raw, int offset, int n, int flags) {
    return AsFile(raw)->Real()->pMethods->xShmLock(AsFile(raw)->Real(), offset, n, flags);
}

void ShmBarrier(sqlite3_file* raw) { AsFile(raw)->Real()->pMethods->xShmBarrier(AsFile(raw)->Real()); }

int ShmUnmap(sqlite3_file* raw, int remove) {
    return AsFile(raw)->Real()->pMethods->xShmUnmap(AsFile(raw)->Real(), remove);
}

// No memory-mapped reads: every page comes through Read, to be checked.
int Fetch(sqlite3_file*, sqlite3_int64, int, void** out) {
    *out = nullptr;
    return SQLITE_OK;
}

int Unfetch(sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; }

sqlite3_io_methods const kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

int Open(sqlite3_vfs* vfs, char const* name, sqlite3_file* raw, int flags, int* outFlags) {
    sqlite3_vfs* below = Below(vfs);
    File* file = new (raw) File{};
    file->base.pMethods = nullptr;
    file->below = below;
    file->reserved = -1;
    std::memset(file->Real(), 0, below->szOsFile);
    int const rc = below->xOpen(below, name, file->Real(), flags, outFlags);
    if (rc != SQLITE_OK) {
        if (file->Real()->pMethods) file->Real()->pMethods->xClose(file->Real());
        return rc;
    }
    if ((flags & SQLITE_OPEN_MAIN_DB) && name) {
        file->kind = Kind::kMain;
        file->main = file;
        file->mark = new (std::nothrow) std::string(std::string(name) + kDamagedSuffix);
    } else if ((flags & (SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL)) && name) {
        file->kind = (flags & SQLITE_OPEN_WAL) ? Kind::kLog : Kind::kJournal;
        sqlite3_file* owner = sqlite3_database_file_object(name);
        file->main = owner && owner->pMethods == &kMethods ? AsFile(owner) : nullptr;
    } else {
        file->kind = Kind::kOther;  // temporary files: VACUUM's copy, statement journals
    }
    file->base.pMethods = &kMethods;
    return SQLITE_OK;
}

int Delete(sqlite3_vfs* vfs, char const* name, int syncDir) { return Below(vfs)->xDelete(Below(vfs), name, syncDir); }

int Access(sqlite3_vfs* vfs, char const* name, int flags, int* out) {
    return Below(vfs)->xAccess(Below(vfs), name, flags, out);
}

int FullPathname(sqlite3_vfs* vfs, char const* name, int size, char* out) {
    return Below(vfs)->xFullPathname(Below(vfs), name, size, out);
}

void* DlOpen(sqlite3_vfs* vfs, char const* name) { return Below(vfs)->xDlOpen(Below(vfs), name); }

void DlError(sqlite3_vfs* vfs, int size, char* out) { Below(vfs)->xDlError(Below(vfs), size, out); }

void (*DlSym(sqlite3_vfs* vfs, void* handle, char const* symbol))(void) {
    return Below(vfs)->xDlSym(Below(vfs), handle, symbol);
}

void DlClose(sqlite3_vfs* vfs, void* handle) { Below(vfs)->xDlClose(Below(vfs), handle); }

int Randomness(sqlite3_vfs* vfs, int size, char* out) { return Below(vfs)->xRandomness(Below(vfs), size, out); }

int Sleep(sqlite3_vfs* vfs, int microseconds) { return Below(vfs)->xSleep(Below(vfs), microseconds); }

int CurrentTime(sqlite3_vfs* vfs, double* out) { return Below(vfs)->xCurrentTime(Below(vfs), out); }

int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
    return Below(vfs)->xGetLastError ? Below(vfs)->xGetLastError(Below(vfs), size, out) : 0;
}

int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) { return Below(vfs)->xCurrentTimeInt64(Below(vfs), out); }

}  // namespace

char const* CheckedVfsName() {
    static char const* const name = []() -> char const* {
        sqlite3_vfs* below = sqlite3_vfs_find(nullptr);
        if (!below || below->iVersion < 2) return nullptr;
        static sqlite3_vfs vfs{};
        vfs.iVersion = 2;
        vfs.szOsFile = static_cast<int>(sizeof(File)) + below->szOsFile;
        vfs.mxPathname = below->mxPathname;
        vfs.zName = "zelk-checked";
        vfs.pAppData = below;
        vfs.xOpen = Open;
        vfs.xDelete = Delete;
        vfs.xAccess = Access;
        vfs.xFullPathname = FullPathname;
        vfs.xDlOpen = DlOpen;
        vfs.xDlError = DlError;
        vfs.xDlSym = DlSym;
        vfs.xDlClose = DlClose;
        vfs.xRandomness = Randomness;
        vfs.xSleep = Sleep;
        vfs.xCurrentTime = CurrentTime;
        vfs.xGetLastError = GetLastError;
        vfs.xCurrentTimeInt64 = CurrentTimeInt64;
        return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? vfs.zName : nullptr;
    }();
    return name;
}

}  // namespace zelk::os::registry
