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
        auto const stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (;;) {
            std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                (std::string(tag) + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                m_path = candidate;
                break;
            }
        }
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(TempDir const&) = delete;
    TempDir& operator=(TempDir const&) = delete;

    std::filesystem::path const& Path() const { return m_path; }
    // The name of `leaf` in this directory, in the system's own form.
    std::string File(std::string_view leaf) const { return (m_path / std::string(leaf)).string(); }

private:
    std::filesystem::path m_path;
};

// Writes `bytes` exactly (no newline translation); true on success.
inline bool WriteFile(std::string const& name, std::string_view bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Writes to a new file beside `name`, then moves it over `name`: readers see
// the old file or the new one, never half of one.
inline bool ReplaceFile(std::string const& name, std::string_view bytes) {
    std::string const temporary = name + ".new";
    if (!WriteFile(temporary, bytes)) return false;
    std::error_code error;
    std::filesystem::rename(temporary, name, error);
    return !error;
}

}  // namespace zelk::test
