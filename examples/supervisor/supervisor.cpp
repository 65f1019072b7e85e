// A supervisor that collects a worker's errors while the worker reports:
// it drains the worker's list in one step (nothing added meanwhile is lost,
// as it would be by copying and then clearing), waits for the worker's
// signal and for its end with time limits, and prints the Windows-1252
// texts of the errors as UTF-8.
#include <zelk/zelkerr.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class CheckError : public CZelkError {
public:
    CheckError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "CheckError"; }
};

unsigned long const kBatch = 1ul << 0;  // the supervisor's bit: a batch is ready
int const kChecks = 300;

class Checker : public CAbstractRunnable {
public:
    explicit Checker(CAbstractSignals& supervisor) : m_supervisor(supervisor) {}
    unsigned long Run() override {
        for (int check = 1; check <= kChecks; ++check) {
            ERRAdd(CheckError(__FILE__, __LINE__, check));  // into this thread's own list
            if (check % 50 == 0) m_supervisor.Signal(kBatch);
        }
        return kChecks;
    }
    // Names are bytes of the ANSI code page, Windows-1252; this source file is UTF-8.
    char const* GetName() override { return m_name.c_str(); }

private:
    CAbstractSignals& m_supervisor;
    std::string const m_name = Utf8ToCp1252("Prüfer №1");  // "Pr\xFC" "fer ?1"
};

int main() {
    std::unique_ptr<CAbstractSignals> supervisor(CreateZelkSignals());
    std::unique_ptr<CAbstractSemaphore> noUnit(CreateZelkSemaphore(0));
    std::printf("lock with 20 ms limit: %s\n", LockZelkSemaphore(*noUnit, 20) == 1 ? "taken" : "timed out");

    Checker checker(*supervisor);
    std::unique_ptr<CAbstractThread> worker(CreateZelkThread());
    worker->Start(&checker);

    std::vector<int> seen(kChecks + 1, 0);
    CZelkErrorList collected;
    CErrorClone error;
    unsigned long exitCode = 259;
    while (exitCode == 259) {
        WaitZelkSignals(*supervisor, kBatch, 100);  // a batch, or 100 ms gone by
        exitCode = JoinZelkThread(*worker, 0);  // 259 while it still runs
        // After the join (when it has ended) this drain takes the very last errors.
        worker->GetErrorList().MoveErrorsTo(collected, nullptr);
        for (ErrorListPos pos = collected.GetFirst(); !pos.IsNull(); pos = collected.GetNext(pos)) {
            collected.GetError(error, pos);
            ++seen[error.GetError()];
        }
        collected.ClearErrors();
    }
    int once = 0;
    for (int check = 1; check <= kChecks; ++check) once += seen[check] == 1 ? 1 : 0;
    std::printf("worker ended with %lu; %d of %d errors collected exactly once\n", exitCode, once, kChecks);
    std::printf("reported on \"%s\"; its list now holds %u\n", Cp1252ToUtf8(error.GetThreadName()).c_str(),
                worker->GetErrorList().GetErrorCount());
}
