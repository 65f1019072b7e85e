#include "platform/files.h"

#include <dirent.h>
#include <sys/stat.h>
#include "platform/codepage.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace zelk::os {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool SameFolded(std::string_view a, std::string_view b) { return EqualAsciiNoCase(a, b); }

bool Exists(std::string const& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Join(std::string const& directory, std::string_view component) {
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path.push_back('/');
    path.append(component);
    return path;
}

// The entry of `directory` that matches `component` when case is ignored;
// empty when there is none or the directory cannot be read.
std::string FindFolded(std::string const& directory, std::string_view component) {
    struct Closer {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, Closer> dir(::opendir(directory.empty() ? "." : directory.c_str()));
    if (!dir) return std::string();
    std::string best;
    while (dirent const* entry = ::readdir(dir.get())) {
        std::string_view const name(entry->d_name);
        if (!SameFolded(name, component)) continue;
        if (best.empty() || name < best) best = std::string(name);
    }
    return best;
}

}  // namespace

void SpelledPath(char const* name, std::string& path) {
    path.clear();
    if (name == nullptr) return;
    std::string_view text(name);
    if (text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':') {
        text.remove_prefix(2);
        path.push_back('/');  // the drive's root, even for "d:texts"
    }
    for (char c : text) {
        char const mapped = IsSeparator(c) ? '/' : c;
        if (mapped == '/' && !path.empty() && path.back() == '/') continue;  // "x:\" and "//" collapse
        path.push_back(mapped);
    }
}

std::string SpelledPath(char const* name) {
    std::string path;
    SpelledPath(name, path);
    return path;
}

std::string NativePath(char const* name) {
    std::string const spelled = SpelledPath(name);
    if (spelled.empty() || Exists(spelled)) return spelled;

    std::string path = spelled.front() == '/' ? "/" : "";
    std::string_view rest(spelled);
    bool matching = true;  // once a component matches nothing, the rest stays as spelled
    while (!rest.empty()) {
        std::size_t const slash = rest.find('/');
        std::string_view const component = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (component.empty()) continue;
        std::string candidate = Join(path, component);
        if (matching && component != "." && component != ".." && !Exists(candidate)) {
            std::string const found = FindFolded(path, component);
            if (found.empty()) {
                matching = false;
            } else {
                candidate = Join(path, found);
            }
        }
        path = std::move(candidate);
    }
    return path;
}

}  // namespace zelk::os
