// Worker threads on POSIX threads: the shared pool (platform/worker_pool.h) over a mutex, two
// condition variables and pthreads.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "platform/worker_pool.h"
#include "platform/workers.h"

namespace {

struct Posix {
    using Lock = pthread_mutex_t;
    using Condition = pthread_cond_t;
    using Thread = pthread_t;
    static void create(WorkerPool<Posix>* p) {
        pthread_mutex_init(&p->lock, nullptr);
        pthread_cond_init(&p->wake, nullptr);
        pthread_cond_init(&p->done, nullptr);
    }
    static void destroy(WorkerPool<Posix>* p) {
        pthread_cond_destroy(&p->done);
        pthread_cond_destroy(&p->wake);
        pthread_mutex_destroy(&p->lock);
    }
    static void lock(Lock* l) { pthread_mutex_lock(l); }
    static void unlock(Lock* l) { pthread_mutex_unlock(l); }
    static void wait(Condition* c, Lock* l) { pthread_cond_wait(c, l); }
    static void signal(Condition* c) { pthread_cond_signal(c); }
    static void broadcast(Condition* c) { pthread_cond_broadcast(c); }
    static void* entry(void* pool) {
        runWorker(static_cast<WorkerPool<Posix>*>(pool));
        return nullptr;
    }
    static bool startThread(Thread* thread, WorkerPool<Posix>* p) { return pthread_create(thread, nullptr, entry, p) == 0; }
    static void join(Thread thread) { pthread_join(thread, nullptr); }
};

}  // namespace

int32_t hardwareThreads(void) {
    int32_t count = 0;
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) count = CPU_COUNT(&set);
#endif
    if (count < 1) count = static_cast<int32_t>(sysconf(_SC_NPROCESSORS_ONLN));
    return count < 1 ? 1 : count > kMaxThreads ? kMaxThreads : count;
}

int32_t startWorkers(Workers* workers, int32_t threads) { return startPool<Posix>(workers, threads); }

void runOnWorkers(Workers* workers, WorkerTask task, void* context, int32_t tasks) {
    runOnPool<Posix>(workers, task, context, tasks);
}

void stopWorkers(Workers* workers) { stopPool<Posix>(workers); }
