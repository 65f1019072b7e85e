// The road of an error: constructing a base error, and adding it to the
// thread's list (which reads its texts from two message files of 2,000 keys
// each), beside the run-time calls a time stamp is made of.
#include "bench/ratio.h"

#include <zelk/error_list.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <time.h>

namespace {

class BenchError final : public CZelkError {
public:
    BenchError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "BenchError"; }
};

constexpr int kKeys = 2000;

// A translated and an English message file of kKeys texts each, in a
// scratch directory that lives as long as the process.
class MessageFiles {
public:
    MessageFiles() {
        namespace fs = std::filesystem;
        m_dir = fs::temp_directory_path() /
                ("zelk-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(m_dir);
        Write(m_dir / "German.txt", "Deutscher Text Nummer ");
        Write(m_dir / "Zelk.TXT", "English text number ");
        std::string name = m_dir.string();
        for (char& c : name) {
            if (c == '/') c = '\\';
        }
        SetMsgFileName(("z:" + name + "\\German.txt").c_str());
        // Installed message files are not brand new: a file changed within
        // the last two seconds is re-read at every lookup, because file
        // systems stamp changes too coarsely to trust a parse of it (and
        // setting the modification time back moves the change time).
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    }
    ~MessageFiles() {
        SetMsgFileName(nullptr);
        std::error_code error;
        std::filesystem::remove_all(m_dir, error);
    }
    std::filesystem::path const& Dir() const { return m_dir; }

private:
    static void Write(std::filesystem::path const& path, std::string const& prefix) {
        {
            std::ofstream out(path, std::ios::binary);
            out << "[OtherError]\r\n1=unused\r\n[BenchError]\r\n";
            for (int key = 0; key < kKeys; ++key) out << key << '=' << prefix << key << "\r\n";
        }
    }

    std::filesystem::path m_dir;
};

MessageFiles& Files() {
    static MessageFiles files;
    return files;
}

void BM_ConstructBaseError(benchmark::State& state) {
    Files();
    int code = 0;
    for (auto _ : state) {
        BenchError const error(__FILE__, __LINE__, code++ % kKeys);
        benchmark::DoNotOptimize(error.GetTime());
    }
}
BENCHMARK(BM_ConstructBaseError);

// What a time stamp costs the run time, without the error around it.
void BM_TzsetLocaltimeMktime(benchmark::State& state) {
    for (auto _ : state) {
        ::tzset();
        time_t const now = ::time(nullptr);
        struct tm local;
        ::localtime_r(&now, &local);
        local.tm_isdst = -1;
        benchmark::DoNotOptimize(::mktime(&local));
    }
}
BENCHMARK(BM_TzsetLocaltimeMktime);

// ERRAdd of errors made beforehand: the snapshot with its four text lookups
// (translated and English, kinds 0 and 1) and the insertion.  The list is
// emptied every 1,000 adds, before it fills (a full list drops errors).
void BM_ErrAddBaseError(benchmark::State& state) {
    Files();
    std::vector<std::unique_ptr<BenchError>> errors;
    for (int i = 0; i < 1000; ++i) errors.push_back(std::make_unique<BenchError>(__FILE__, __LINE__, (i * 7) % kKeys));
    ERRClearErrors();
    std::size_t next = 0;
    for (auto _ : state) {
        ERRAdd(*errors[next]);
        if (++next == errors.size()) {
            next = 0;
            ERRMyList().ClearErrors();
        }
    }
    char text[100];
    CErrorClone snapshot;
    ERRAdd(*errors[0]);
    ERRMyList().GetError(snapshot, ERRMyList().GetLast());
    snapshot.GetDescriptionLine(0, 0, text, sizeof text, true);
    state.SetLabel(text);  // proof that the texts were found
    ERRClearErrors();
}
BENCHMARK(BM_ErrAddBaseError);

// One text lookup: the file's name resolved anew (one stat), its parse
// reused.  The anchor is that stat alone, the floor of a lookup that sees a
// file swapped under the program.
void BM_TextLookup(benchmark::State& state) {
    Files();
    char text[100];
    int code = 0;
    for (auto _ : state) {
        char key[16];
        std::snprintf(key, sizeof key, "%d", code++ % kKeys);
        benchmark::DoNotOptimize(CZelkError::GetText("BenchError", key, text, sizeof text, 1));
    }
}
BENCHMARK(BM_TextLookup);

void BM_StatOfTheName(benchmark::State& state) {
    std::string const path = (Files().Dir() / "German.txt").string();
    struct stat st;
    for (auto _ : state) benchmark::DoNotOptimize(::stat(path.c_str(), &st));
}
BENCHMARK(BM_StatOfTheName);

}  // namespace

ZELK_RATIO("BM_TextLookup", "BM_StatOfTheName", 1.5);
ZELK_RATIO("BM_ErrAddBaseError", "BM_ConstructBaseError", 2.0);
ZELK_RATIO("BM_ConstructBaseError", "BM_TzsetLocaltimeMktime", 1.5);
