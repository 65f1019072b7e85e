#include "files.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace zelk::regtool {

namespace {

std::filesystem::path PathOf(std::string const& name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Reason() {
    return errno != 0 ? std::generic_category().message(errno) : std::string("input/output error");
}

}  // namespace

bool FileExists(std::string const& name) {
    std::error_code ignored;
    return std::filesystem::exists(PathOf(name), ignored);
}

bool ReadWholeFile(std::string const& name, std::string& bytes, std::string& error) {
    errno = 0;
    std::error_code code;
    if (std::filesystem::is_directory(PathOf(name), code)) {
        error = "cannot read " + name + ": it is a directory";
        return false;
    }
    std::ifstream in(PathOf(name), std::ios::binary);
    if (!in) {
        error = "cannot read " + name + ": " + Reason();
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + name + ": " + Reason();
        return false;
    }
    return true;
}

bool WriteWholeFile(std::string const& name, std::string_view bytes, std::string& error) {
    errno = 0;
    std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
    }
    if (!out) {
        error = "cannot write " + name + ": " + Reason();
        return false;
    }
    return true;
}

}  // namespace zelk::regtool
