// The example host: how a program uses ZelkErr's error reporting.
//
// It names its (German) message file, whose English twin Zelk.TXT lies
// beside it; reports errors on the main thread and on two started threads;
// drops, with an error scope, errors that a piece of work no longer needs;
// copies the workers' errors into a list of its own; shows one snapshot in
// both languages; and prints each list as readable lines.
//
//   zelk_example [directory of the message files]
//
// Without an argument the message files are looked for beside the program.
#include <zelk/zelkerr.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#ifdef _WIN32
#  include <windows.h>
#endif

namespace {

// Error classes: the type name is the message file's section.  "FileError"
// starts with a capital, so its codes are keys in decimal; "netError"
// starts lower-case, so its codes are keys in hexadecimal ("002a").
class FileError : public CZelkError {
public:
    FileError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "FileError"; }
};

class NetError : public CZelkError {
public:
    NetError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "netError"; }
};

#define REPORT(ErrorClass, code) ERRAdd(ErrorClass(__FILE__, __LINE__, code))

// The directory that holds this program.
std::filesystem::path ProgramDirectory(char const* argv0) {
#ifdef _WIN32
    char path[MAX_PATH];
    DWORD const length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return std::filesystem::path(path).parent_path();
#else
    std::error_code error;
    std::filesystem::path const self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path();
#endif
    return std::filesystem::absolute(argv0).parent_path();
}

// Message-file names are Windows names.  On POSIX a path is written on the
// drive Z:, whose root is "/": /opt/app/German.txt is z:\opt\app\German.txt.
std::string MessageFileName(std::filesystem::path const& path) {
    std::string name = std::filesystem::absolute(path).string();
    if (!name.empty() && name.front() == '/') {
        for (char& c : name) {
            if (c == '/') c = '\\';
        }
        name = "z:" + name;
    }
    return name;
}

std::string LocalTime(long stamp) {
    std::time_t const t = static_cast<std::time_t>(stamp);
    char text[32] = "?";
    if (std::tm const* local = std::localtime(&t)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return text;
}

std::string BaseName(char const* file) {
    if (file == nullptr) return "?";
    return std::filesystem::path(file).filename().string();
}

// One readable line per error: ordinal, time, thread, file:line, type, code, text.
void PrintList(char const* title, CZelkErrorList const& list) {
    std::printf("%s (%u):\n", title, list.GetErrorCount());
    CErrorClone error;
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) {
        if (!list.GetError(error, pos)) continue;
        char text[256];
        if (!error.GetDescriptionLine(0, 0, text, sizeof text)) std::snprintf(text, sizeof text, "(no text)");
        std::printf("  #%u %s %-9s %s:%d %s %d %s\n", error.GetOrdinalNumber().Get(),
                    LocalTime(error.GetTime()).c_str(), error.GetThreadName(), BaseName(error.GetErrorFile()).c_str(),
                    error.GetLine(), error.GetTypeName(), error.GetError(), text);
    }
}

// A worker reports errors into its own thread's list and hands them over.
class Worker : public CAbstractRunnable {
public:
    Worker(char const* name, int which, CZelkErrorList& collected)
        : m_name(name), m_which(which), m_collected(collected) {}
    unsigned long Run() override {
        if (m_which == 1) {
            REPORT(NetError, 0x2a);
        } else {
            REPORT(FileError, 5);
            REPORT(NetError, 0x10);  // no German text: the English one stands in
        }
        // CopyErrorsTo locks both lists, so workers may hand over at once.
        ERRMyList().CopyErrorsTo(m_collected, nullptr, nullptr);
        return ERRMyList().GetErrorCount();
    }
    char const* GetName() override { return m_name; }

private:
    char const* m_name;
    int m_which;
    CZelkErrorList& m_collected;
};

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path const directory = argc > 1 ? std::filesystem::path(argv[1]) : ProgramDirectory(argv[0]);
    SetMsgFileName(MessageFileName(directory / "German.txt").c_str());
    std::printf("German message file: %s (readable: %d)\n", GetMsgFileName(), IsMsgFileOK());
    std::printf("English message file: %s (readable: %d)\n", GetEnglishMsgFileName(), IsEnglishMsgFileOK());
    if (!IsMsgFileOK() || !IsEnglishMsgFileOK()) {
        std::fprintf(stderr, "zelk_example: message files not found in %s\n", directory.string().c_str());
        return 2;
    }

    // An error of the main thread.
    REPORT(FileError, 2);

    // A piece of work that reports errors, then turns out fine: the scope
    // made before it removes them again when it ends without Keep(), however
    // the work is left (a return or an exception as well).
    unsigned before = 0;
    {
        CZelkErrorScope work;
        REPORT(FileError, 5);
        REPORT(NetError, 0x2a);
        before = ERRMyList().GetErrorCount();
        std::printf("errors of the work: %zu\n", work.Errors().size());
    }
    unsigned const after = ERRMyList().GetErrorCount();
    std::printf("before rollback: %u errors, after: %u error%s\n", before, after, after == 1 ? "" : "s");

    // Two started threads, each with its own list.
    CZelkErrorList collected;
    Worker first("worker 1", 1, collected);
    Worker second("worker 2", 2, collected);
    std::unique_ptr<CAbstractThread> one(CreateZelkThread());
    std::unique_ptr<CAbstractThread> two(CreateZelkThread());
    if (!one->Start(&first) || !two->Start(&second)) {
        std::fprintf(stderr, "zelk_example: cannot start the workers\n");
        return 3;
    }
    unsigned long const firstCount = one->Join();
    unsigned long const secondCount = two->Join();
    std::printf("collected from the workers: %u errors\n", collected.GetErrorCount());

    PrintList("errors of the main thread", ERRMyList());
    PrintList("errors of the workers", collected);

    // One snapshot, read in both languages.
    CErrorClone snapshot;
    for (ErrorListPos pos = collected.GetFirst(); !pos.IsNull(); pos = collected.GetNext(pos)) {
        collected.GetError(snapshot, pos);
        if (std::string(snapshot.GetTypeName()) == "netError" && snapshot.GetError() == 0x2a) break;
    }
    char text[256];
    snapshot.GetDescriptionLine(0, 0, text, sizeof text);
    std::printf("snapshot #%u translated: %s\n", snapshot.GetOrdinalNumber().Get(), text);
    snapshot.EnableMessageTranslation(0);
    snapshot.GetDescriptionLine(0, 0, text, sizeof text);
    std::printf("snapshot #%u English:    %s\n", snapshot.GetOrdinalNumber().Get(), text);

    bool const ok = before == 3 && after == 1 && firstCount == 1 && secondCount == 2 &&
                    collected.GetErrorCount() == 3 && ERRMyList().GetErrorCount() == 1;
    ERRClearErrors();
    std::printf("example finished: %s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}
