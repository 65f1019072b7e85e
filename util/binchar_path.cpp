// BinChar path members: full names, folders, file names, joining, reducing
// "." and ".." steps, and extensions.
//
// They work on the text alone: nothing here checks that a file exists or
// resolves a link.  The only outside fact they read is the current
// directory, and each member reads it exactly once, so a directory changed
// by another thread mid-call cannot mix two directories into one result.
#include <zelk/binchar.h>

#include "platform/current_dir.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace zelk {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// How many separators Directory passes when asked for every level.
constexpr int kAllLevels = 1040;

std::string_view View(BinChar const& s) { return std::string_view(s, static_cast<std::size_t>(s.len())); }

BinChar ToBinChar(std::string_view s) {
    // Longer than the length field can say: as unsatisfiable as a failed allocation.
    if (s.size() > static_cast<std::size_t>(INT32_MAX)) throw std::bad_alloc();
    return BinChar(s.data(), static_cast<int>(s.size()));
}

// The first "\" at or after `from`, or, only when there is none, the first "/".
std::size_t FindSeparator(std::string_view s, std::size_t from) {
    std::size_t const backslash = s.find('\\', from);
    return backslash != npos ? backslash : s.find('/', from);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Byte i of s, or 0 past its end (as the terminating zero of a BinChar reads).
char At(std::string_view s, std::size_t i) { return i < s.size() ? s[i] : '\0'; }

// The full name of `s` against the (lower-cased) current directory `cwd`;
// `root` gets the length of the drive or share prefix, 0 when none formed.
std::string FullName(std::string_view s, std::string_view cwd, int& root) {
    root = 0;
    if (s.empty()) return std::string();

    if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {  // \\server\share\...
        std::size_t const server = FindSeparator(s, 2);
        if (server == npos) return std::string();
        std::size_t const share = FindSeparator(s, server + 3);
        if (share == npos) return std::string();
        root = static_cast<int>(share + 1);
        return std::string(s);
    }

    if (At(s, 1) == ':') {  // a drive name
        root = 3;
        if (!IsAsciiLetter(s[0])) return std::string();
        if (IsSeparator(At(s, 2))) return std::string(s);
        // Relative to a drive: the current directory when it is that drive
        // (compared exactly: the directory is lower-case, so "C:" never
        // matches it), otherwise the root of the other drive.
        std::string_view const head = !cwd.empty() && s[0] == cwd[0] ? cwd : s.substr(0, 2);
        std::string result;
        result.reserve(head.size() + s.size());
        result.append(head.data(), head.size());
        result += '\\';
        result.append(s.data() + 2, s.size() - 2);
        return result;
    }

    root = 3;
    if (IsSeparator(s[0])) {  // rooted on the current drive
        std::string result(cwd.substr(0, 2));
        result.append(s);
        return result;
    }
    std::string result(cwd);
    result += '\\';
    result.append(s);
    return result;
}

// The folder part of the full name `f` with root length `root`: `f` up to
// the separator reached after `levels` - 1 steps below the root.
std::string_view DirectoryOf(std::string_view f, int root, int levels) {
    if (root == 0) return std::string_view();
    if (levels <= 0) levels = kAllLevels;
    std::size_t pos = static_cast<std::size_t>(root - 1);
    for (int step = 1; step < levels; ++step) {
        std::size_t const at = FindSeparator(f, pos);
        if (at == npos) break;
        pos = at + 1;
    }
    std::size_t const keep = pos >= 1 ? pos - 1 : 0;
    return f.substr(0, keep < f.size() ? keep : f.size());
}

std::string_view FileNameOf(std::string_view f, int root) {
    std::string_view const directory = DirectoryOf(f, root, 0);
    if (directory.empty()) return f;
    std::size_t const from = directory.size() + 1;
    return from < f.size() ? f.substr(from) : std::string_view();
}

// Every occurrence of `from` replaced by `to`, left to right, without
// overlap; text put in is not searched again.
void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    std::string result;
    std::size_t done = 0;
    for (std::size_t at = s.find(from); at != npos; at = s.find(from, done)) {
        result.append(s, done, at - done);
        result.append(to);
        done = at + from.size();
    }
    if (done == 0) return;
    result.append(s, done, npos);
    s.swap(result);
}

// Parent steps: the folder before each "\.." goes with the separator, the
// two dots and the byte after them.  A ".." with no separator before it in
// the tail has no folder to drop: the root is a ceiling, as on Windows, so
// only the ".." step goes ("c:\..\x" becomes "c:\x").  Steps are taken
// first one first, every "\.." before any "/.." (a "\.." that a "/.." step
// brings together counts first again).
//
// One pass per separator kind, each in linear time.  The text is copied
// byte by byte and a step is taken as soon as the copy ends in one: nothing
// before the end of the copy can form a step any more, since a step taken
// leaves a separator (or nothing) at the end.  A pass over "/" steps also
// takes the "\.." steps that its own cuts bring together, which are the
// only ones left after the first pass.
std::string DropParentSteps(std::string_view tail, char separator) {
    std::string out;
    out.reserve(tail.size());
    for (std::size_t i = 0; i < tail.size();) {
        out += tail[i++];
        std::size_t const n = out.size();
        if (n < 3 || out[n - 1] != '.' || out[n - 2] != '.' || (out[n - 3] != '\\' && out[n - 3] != separator))
            continue;
        std::size_t const at = n - 3;
        std::size_t folder = at;
        while (folder > 0 && !IsSeparator(out[folder - 1])) --folder;
        out.resize(folder > 0 ? folder : at + 1);
        if (i < tail.size()) ++i;  // the byte after the dots
    }
    return out;
}

}  // namespace
}  // namespace zelk

using namespace zelk;

BinChar BinChar::FullFileName(int& rootLength) const {
    rootLength = 0;
    if (m_length == 0) return BinChar();
    return ToBinChar(FullName(View(*this), os::CurrentDirectory(), rootLength));
}

BinChar BinChar::Directory(int levels) const {
    int root = 0;
    std::string const full = FullName(View(*this), m_length ? os::CurrentDirectory() : std::string(), root);
    std::string_view const directory = DirectoryOf(full, root, levels);
    return ToBinChar(directory);
}

BinChar BinChar::FileName() const {
    int root = 0;
    std::string const full = FullName(View(*this), m_length ? os::CurrentDirectory() : std::string(), root);
    std::string_view const name = FileNameOf(full, root);
    return ToBinChar(name);
}

BinChar BinChar::AddPath(BinChar const& path) const {
    if (path.len() == 0) {
        int root = 0;
        return FullFileName(root);
    }
    char const* const p = path;
    if (IsSeparator(p[0]) || p[1] == ':') {
        int root = 0;
        return path.FullFileName(root);
    }
    int const visible = VisibleLength();
    if (visible > 0 && IsSeparator(m_data[visible - 1])) return *this + path;
    BinChar result(Uninitialised{}, std::int64_t(m_length) + 1 + path.len());
    std::memcpy(result.m_data, m_data, static_cast<std::size_t>(m_length));
    result.m_data[m_length] = '\\';
    std::memcpy(result.m_data + m_length + 1, p, static_cast<std::size_t>(path.len()));
    return result;
}

BinChar BinChar::ReducePath() const {
    std::string const cwd = m_length ? os::CurrentDirectory() : std::string();
    int root = 0;
    std::string const full = FullName(View(*this), cwd, root);

    // The root stops two bytes short of its end (for a drive, after the
    // letter), so the tail starts with ":\" and no step can climb past it.
    int fullRoot = 0;
    std::string const again = FullName(full, cwd, fullRoot);
    std::size_t keep = DirectoryOf(again, fullRoot, 1).size();
    if (keep > full.size()) keep = full.size();
    std::string tail = full.substr(keep);

    tail = DropParentSteps(DropParentSteps(tail, '\\'), '/');
    ReplaceAll(tail, "\\.\\", "\\");
    ReplaceAll(tail, "\\.", "");

    std::string result = full.substr(0, keep);
    result += tail;
    if (tail.empty()) result += '\\';
    return ToBinChar(result);
}

BinChar BinChar::SetExtension(char const* extension) const {
    int root = 0;
    std::string const full = FullName(View(*this), m_length ? os::CurrentDirectory() : std::string(), root);
    std::string_view const name = FileNameOf(full, root);
    std::size_t dot = name.find('.');
    if (dot == npos) dot = name.size();

    std::string result;
    if (name.size() < static_cast<std::size_t>(m_length))
        result.assign(m_data, static_cast<std::size_t>(m_length) - name.size());
    result.append(name.substr(0, dot));
    result += '.';
    if (extension) result.append(extension);
    return ToBinChar(result);
}
