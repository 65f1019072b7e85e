#include "platform/posix/documents_folder.h"

namespace zelk::os::posix {

namespace {

constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR";

// `value` with a leading "$HOME" expanded; empty when it is unusable.
std::string Expand(std::string_view value, std::string_view home) {
    constexpr std::string_view kHome = "$HOME";
    if (value.substr(0, kHome.size()) == kHome && (value.size() == kHome.size() || value[kHome.size()] == '/')) {
        if (home.empty()) {
            return {};
        }
        return std::string(home) + std::string(value.substr(kHome.size()));
    }
    if (!value.empty() && value.front() == '/') {
        return std::string(value);
    }
    return {};
}

// The value of the XDG_DOCUMENTS_DIR line: KEY="value" (quotes optional),
// '#' lines are comments; the last such line counts, as in a shell.
std::string FromUserDirs(std::string_view text, std::string_view home) {
    std::string found;
    while (!text.empty()) {
        std::size_t const end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.substr(0, kKey.size()) != kKey || line.size() <= kKey.size() || line[kKey.size()] != '=') {
            continue;
        }
        std::string_view value = line.substr(kKey.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (std::string expanded = Expand(value, home); !expanded.empty()) {
            found = std::move(expanded);
        }
    }
    return found;
}

}  // namespace

std::string DocumentsFolder(char const* environmentValue, std::string_view userDirsText, std::string_view home) {
    if (environmentValue) {
        if (std::string expanded = Expand(environmentValue, home); !expanded.empty()) {
            return expanded;
        }
    }
    if (std::string fromFile = FromUserDirs(userDirsText, home); !fromFile.empty()) {
        return fromFile;
    }
    if (home.empty()) {
        return {};
    }
    return std::string(home) + "/Documents";
}

std::string WindowsPathForm(std::string_view posixPath) {
    if (posixPath.empty() || posixPath.front() != '/') {
        return {};
    }
    std::string result = "z:";
    bool lastWasSeparator = false;
    for (char const c : posixPath) {
        if (c == '/') {
            if (!lastWasSeparator) {
                result += '\\';
            }
            lastWasSeparator = true;
        } else {
            result += c;
            lastWasSeparator = false;
        }
    }
    if (result.size() > 3 && result.back() == '\\') {
        result.pop_back();
    }
    return result;
}

}  // namespace zelk::os::posix
