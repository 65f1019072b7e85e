// Threads and signal sets: start named worker threads, hand them jobs by
// signalling their thread objects (every thread object is a signal set),
// wait for their answers on a signal set of one's own, let a timer tick,
// and join the workers for their exit codes.  Each worker reports into its
// own error list, which stays with its thread object after the join.
#include <zelk/zelkerr.h>

#include <cstdio>
#include <memory>

class JobError : public CZelkError {
public:
    JobError(char const* file, int line, int code) : CZelkError(file, line, code) {}
    char const* GetTypeName() const override { return "JobError"; }
};

// Bits of a worker's own set: a job is waiting / time to finish.
unsigned long const kJob = 1ul << 0;
unsigned long const kQuit = 1ul << 1;

class Worker : public CAbstractRunnable {
public:
    Worker(char const* name, CAbstractSignals& answers) : m_name(name), m_answers(answers) {
        done = 1ul << answers.AllocSignal();  // a bit of the answer set of its own
    }
    unsigned long Run() override {
        CAbstractThread& self = MyZelkThread();  // this thread's object: its set, list and name
        unsigned long jobs = 0;
        for (;;) {
            unsigned long const received = self.Wait(kJob | kQuit);
            if (received & kJob) {
                // The job was written before the signal, so it is safe to read now.
                result = job * job;
                if (job % 3 == 0) ERRAdd(JobError(__FILE__, __LINE__, job));
                ++jobs;
                m_answers.Signal(done);
            }
            if (received & kQuit) return jobs;  // the thread's exit code
        }
    }
    char const* GetName() override { return m_name; }  // the thread's name while it runs

    int job = 0;  // written by the main thread before it signals kJob
    long result = 0;  // written by the worker before it answers
    unsigned long done = 0;  // the worker's bit in the answer set

private:
    char const* m_name;
    CAbstractSignals& m_answers;
};

int main() {
    std::unique_ptr<CAbstractSignals> answers(CreateZelkSignals());
    Worker workers[2] = {{"squarer 1", *answers}, {"squarer 2", *answers}};
    std::unique_ptr<CAbstractThread> threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i].reset(CreateZelkThread());
        std::printf("thread %d: \"%s\"\n", i + 1, threads[i]->GetName());
        threads[i]->AllocSignals(kJob | kQuit);  // marks the bits as taken on this set
        if (!threads[i]->Start(&workers[i])) return 1;
    }

    for (int job = 1; job <= 6; ++job) {
        int const i = (job - 1) % 2;  // odd jobs to the first, even ones to the second
        workers[i].job = job;  // handed over by the signal
        threads[i]->Signal(kJob);
        answers->Wait(workers[i].done);
        std::printf("%s: %d squared is %ld\n", threads[i]->GetName(), job, workers[i].result);
    }

    // A timer signals a set each time a period has passed (resolution 100 ms).
    std::unique_ptr<CAbstractTimer> timer(CreateZelkTimer());
    unsigned long const tick = 1ul << answers->AllocSignal();
    timer->Start(answers.get(), tick, 200);
    int ticks = 0;
    while (ticks < 3) {
        answers->Wait(tick);
        ++ticks;
    }
    timer->Stop();
    std::printf("timer: %d ticks\n", ticks);

    for (int i = 0; i < 2; ++i) {
        threads[i]->Signal(kQuit);
        unsigned long const jobs = threads[i]->Join();  // waits for Run to return
        CZelkErrorList& list = threads[i]->GetErrorList();
        CErrorClone error;
        list.GetError(error, list.GetFirst());
        std::printf("thread %d: \"%s\", %lu jobs, %u error (%s %d on %s)\n", i + 1, threads[i]->GetName(), jobs,
                    list.GetErrorCount(), error.GetTypeName(), error.GetError(), error.GetThreadName());
    }
    std::printf("errors of the main thread: %u\n", ERRMyList().GetErrorCount());
    return 0;
}
