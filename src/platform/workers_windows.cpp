// Worker threads on Windows threads: one critical section, a condition variable the workers
// sleep on for a batch and one the caller sleeps on for its end. Tasks are handed out one index
// at a time.
#include <windows.h>

#include <cstring>
#include <new>

#include "platform/workers.h"

namespace {

struct State {
    int32_t initialised;  // the critical section and conditions exist
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE wake;  // a batch has come, or the workers are to stop
    CONDITION_VARIABLE done;  // the last task of the batch has returned
    HANDLE threads[kMaxThreads];
    int32_t workerCount;      // threads started besides the caller
    int32_t batch;            // counts the batches handed out
    int32_t stopping;
    WorkerTask task;
    void* context;
    int32_t tasks;
    int32_t next;             // the next task index to hand out
    int32_t unfinished;       // tasks of the batch not yet returned
};
static_assert(sizeof(State) <= kWorkersStateBytes && alignof(State) <= 16);

State* stateOf(Workers* workers) { return reinterpret_cast<State*>(workers->state); }

// Takes tasks of the current batch until none is left; called and returns inside the lock.
void runTasks(State* s) {
    while (s->next < s->tasks) {
        int32_t index = s->next++;
        LeaveCriticalSection(&s->lock);
        s->task(s->context, index);
        EnterCriticalSection(&s->lock);
        if (--s->unfinished == 0) WakeConditionVariable(&s->done);
    }
}

DWORD WINAPI workerLoop(LPVOID argument) {
    State* s = static_cast<State*>(argument);
    EnterCriticalSection(&s->lock);
    int32_t seen = s->batch;
    for (;;) {
        while (!s->stopping && s->batch == seen) SleepConditionVariableCS(&s->wake, &s->lock, INFINITE);
        if (s->stopping) break;
        seen = s->batch;
        runTasks(s);
    }
    LeaveCriticalSection(&s->lock);
    return 0;
}

}  // namespace

int32_t hardwareThreads(void) {
    DWORD_PTR process = 0, system = 0;
    int32_t count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        for (; process; process &= process - 1) count++;
    }
    return count < 1 ? 1 : count > kMaxThreads ? kMaxThreads : count;
}

int32_t startWorkers(Workers* workers, int32_t threads) {
    State* s = stateOf(workers);
    if (!s->initialised) {
        s = new (workers->state) State{};
        InitializeCriticalSection(&s->lock);
        InitializeConditionVariable(&s->wake);
        InitializeConditionVariable(&s->done);
        s->initialised = 1;
    }
    if (threads > kMaxThreads) threads = kMaxThreads;
    while (s->workerCount + 1 < threads) {
        HANDLE thread = CreateThread(nullptr, 0, workerLoop, s, 0, nullptr);
        if (!thread) break;
        s->threads[s->workerCount++] = thread;
    }
    if (s->workerCount == 0) stopWorkers(workers);
    return s->workerCount + 1;
}

void runOnWorkers(Workers* workers, WorkerTask task, void* context, int32_t tasks) {
    State* s = stateOf(workers);
    if (s->workerCount == 0 || tasks <= 1) {
        for (int32_t i = 0; i < tasks; i++) task(context, i);
        return;
    }
    EnterCriticalSection(&s->lock);
    s->task = task;
    s->context = context;
    s->tasks = tasks;
    s->next = 0;
    s->unfinished = tasks;
    s->batch++;
    WakeAllConditionVariable(&s->wake);
    runTasks(s);
    while (s->unfinished > 0) SleepConditionVariableCS(&s->done, &s->lock, INFINITE);
    LeaveCriticalSection(&s->lock);
}

void stopWorkers(Workers* workers) {
    State* s = stateOf(workers);
    if (s->workerCount > 0) {
        EnterCriticalSection(&s->lock);
        s->stopping = 1;
        WakeAllConditionVariable(&s->wake);
        LeaveCriticalSection(&s->lock);
        for (int32_t i = 0; i < s->workerCount; i++) {
            WaitForSingleObject(s->threads[i], INFINITE);
            CloseHandle(s->threads[i]);
        }
    }
    if (s->initialised) DeleteCriticalSection(&s->lock);
    std::memset(workers->state, 0, sizeof workers->state);
}
