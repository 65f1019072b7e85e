// Scratch files for tests: a fresh directory under the system's temporary
// directory, removed with everything in it when the object goes.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace zelk::test {

class TempDir {
public:
    explicit TempDir(std::string_view tag = "zelk") {
        static std::atomic<unsigned> counter{0};
        auto const stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        std::error_code error;
        do
            m_path = std::filesystem::temp_directory_path() /
                     (std::string(tag) + "-" + stamp + "-" + std::to_string(counter++));
        while (!std::filesystem::create_directory(m_path, error));
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(TempDir const&) = delete;
    TempDir& operator=(TempDir const&) = delete;

    std::filesystem::path const& Path() const { return m_path; }
    std::string File(std::string_view leaf) const { return (m_path / std::string(leaf)).string(); }

private:
    std::filesystem::path m_path;
};

// Writes `bytes` exactly (no newline translation); true on success.
inline bool WriteFile(std::string const& name, std::string_view bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

// Writes beside `name`, then renames over it: readers see the old file or the new one.
inline bool ReplaceFile(std::string const& name, std::string_view bytes) {
    std::error_code error;
    if (!WriteFile(name + ".new", bytes)) return false;
    std::filesystem::rename(name + ".new", name, error);
    return !error;
}

}  // namespace zelk::test
