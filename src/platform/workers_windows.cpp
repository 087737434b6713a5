// Worker threads on Windows threads: the shared pool (platform/worker_pool.h) over a critical
// section, two condition variables and CreateThread.
#include <windows.h>

#include "platform/worker_pool.h"
#include "platform/workers.h"

namespace {

struct Win32 {
    using Lock = CRITICAL_SECTION;
    using Condition = CONDITION_VARIABLE;
    using Thread = HANDLE;
    static void create(WorkerPool<Win32>* p) {
        InitializeCriticalSection(&p->lock);
        InitializeConditionVariable(&p->wake);
        InitializeConditionVariable(&p->done);
    }
    static void destroy(WorkerPool<Win32>* p) { DeleteCriticalSection(&p->lock); }
    static void lock(Lock* l) { EnterCriticalSection(l); }
    static void unlock(Lock* l) { LeaveCriticalSection(l); }
    static void wait(Condition* c, Lock* l) { SleepConditionVariableCS(c, l, INFINITE); }
    static void signal(Condition* c) { WakeConditionVariable(c); }
    static void broadcast(Condition* c) { WakeAllConditionVariable(c); }
    static DWORD WINAPI entry(LPVOID pool) {
        runWorker(static_cast<WorkerPool<Win32>*>(pool));
        return 0;
    }
    static bool startThread(Thread* thread, WorkerPool<Win32>* p) {
        *thread = CreateThread(nullptr, 0, entry, p, 0, nullptr);
        return *thread != nullptr;
    }
    static void join(Thread thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
};

}  // namespace

int32_t hardwareThreads(void) {
    DWORD_PTR process = 0, system = 0;
    int32_t count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        for (; process; process &= process - 1) count++;
    }
    return count < 1 ? 1 : count > kMaxThreads ? kMaxThreads : count;
}

int32_t startWorkers(Workers* workers, int32_t threads) { return startPool<Win32>(workers, threads); }

void runOnWorkers(Workers* workers, WorkerTask task, void* context, int32_t tasks) {
    runOnPool<Win32>(workers, task, context, tasks);
}

void stopWorkers(Workers* workers) { stopPool<Win32>(workers); }
