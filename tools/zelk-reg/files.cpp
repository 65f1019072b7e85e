#include "files.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace zelk::regtool {

namespace {

std::filesystem::path PathOf(std::string const& name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Reason() { return errno != 0 ? std::generic_category().message(errno) : std::string("input/output error"); }

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
    // A file of its own beside the target, renamed over it when whole: a
    // full disk or a crash leaves the previous file as it was.
    std::filesystem::path const target = PathOf(name);
    std::filesystem::path temporary = target;
    temporary += ".zelk-reg-" + std::to_string(std::random_device()()) + ".tmp";
    errno = 0;
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
    }
    std::error_code code;
    if (!out) {
        error = "cannot write " + name + ": " + Reason();
    } else if (std::filesystem::rename(temporary, target, code); code) {
        error = "cannot write " + name + ": " + code.message();
    } else {
        return true;
    }
    std::filesystem::remove(temporary, code);
    return false;
}

}  // namespace zelk::regtool
