// Worker threads on POSIX threads: one mutex, a condition the workers wait on for a batch and
// one the caller waits on for its end. Tasks are handed out one index at a time.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "platform/workers.h"

namespace {

struct State {
    int32_t initialised;  // the mutex and conditions exist
    pthread_mutex_t mutex;
    pthread_cond_t wake;  // a batch has come, or the workers are to stop
    pthread_cond_t done;  // the last task of the batch has returned
    pthread_t threads[kMaxThreads];
    int32_t workerCount;  // threads started besides the caller
    int32_t batch;        // counts the batches handed out
    int32_t stopping;
    WorkerTask task;
    void* context;
    int32_t tasks;
    int32_t next;         // the next task index to hand out
    int32_t unfinished;   // tasks of the batch not yet returned
};
static_assert(sizeof(State) <= kWorkersStateBytes && alignof(State) <= 16);

State* stateOf(Workers* workers) { return reinterpret_cast<State*>(workers->state); }

// Takes tasks of the current batch until none is left; called and returns with the mutex held.
void runTasks(State* s) {
    while (s->next < s->tasks) {
        int32_t index = s->next++;
        pthread_mutex_unlock(&s->mutex);
        s->task(s->context, index);
        pthread_mutex_lock(&s->mutex);
        if (--s->unfinished == 0) pthread_cond_signal(&s->done);
    }
}

void* workerLoop(void* argument) {
    State* s = static_cast<State*>(argument);
    pthread_mutex_lock(&s->mutex);
    int32_t seen = s->batch;
    for (;;) {
        while (!s->stopping && s->batch == seen) pthread_cond_wait(&s->wake, &s->mutex);
        if (s->stopping) break;
        seen = s->batch;
        runTasks(s);
    }
    pthread_mutex_unlock(&s->mutex);
    return nullptr;
}

}  // namespace

int32_t hardwareThreads(void) {
    int32_t count = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) count = CPU_COUNT(&set);
    if (count < 1) count = static_cast<int32_t>(sysconf(_SC_NPROCESSORS_ONLN));
    return count < 1 ? 1 : count > kMaxThreads ? kMaxThreads : count;
}

int32_t startWorkers(Workers* workers, int32_t threads) {
    State* s = stateOf(workers);
    if (!s->initialised) {
        s = new (workers->state) State{};
        pthread_mutex_init(&s->mutex, nullptr);
        pthread_cond_init(&s->wake, nullptr);
        pthread_cond_init(&s->done, nullptr);
        s->initialised = 1;
    }
    if (threads > kMaxThreads) threads = kMaxThreads;
    while (s->workerCount + 1 < threads) {
        if (pthread_create(&s->threads[s->workerCount], nullptr, workerLoop, s) != 0) break;
        s->workerCount++;
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
    pthread_mutex_lock(&s->mutex);
    s->task = task;
    s->context = context;
    s->tasks = tasks;
    s->next = 0;
    s->unfinished = tasks;
    s->batch++;
    pthread_cond_broadcast(&s->wake);
    runTasks(s);
    while (s->unfinished > 0) pthread_cond_wait(&s->done, &s->mutex);
    pthread_mutex_unlock(&s->mutex);
}

void stopWorkers(Workers* workers) {
    State* s = stateOf(workers);
    if (s->workerCount > 0) {
        pthread_mutex_lock(&s->mutex);
        s->stopping = 1;
        pthread_cond_broadcast(&s->wake);
        pthread_mutex_unlock(&s->mutex);
        for (int32_t i = 0; i < s->workerCount; i++) pthread_join(s->threads[i], nullptr);
    }
    if (s->initialised) {
        pthread_cond_destroy(&s->done);
        pthread_cond_destroy(&s->wake);
        pthread_mutex_destroy(&s->mutex);
    }
    std::memset(workers->state, 0, sizeof workers->state);
}
