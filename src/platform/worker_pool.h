// The worker pool behind platform/workers.h, shared by its POSIX and Windows implementations:
// the batch hand-out, the workers' loop and the start and stop of the threads, written once over
// a System record that supplies the lock, the conditions and the threads. Only the two
// workers_*.cpp files include it.
//
// One lock guards the pool; `wake` tells the workers a batch has come (or that they are to
// stop), `done` tells the caller the last task of its batch has returned. Tasks are handed out
// one index at a time.
#pragma once

#include <cstring>
#include <new>

#include "platform/workers.h"

template <typename System>
struct WorkerPool {
    int32_t initialised;  // the lock and conditions exist
    typename System::Lock lock;
    typename System::Condition wake;
    typename System::Condition done;
    typename System::Thread threads[kMaxThreads];
    int32_t workerCount;  // threads started besides the caller
    int32_t batch;        // counts the batches handed out
    int32_t stopping;
    WorkerTask task;
    void* context;
    int32_t tasks;
    int32_t next;         // the next task index to hand out
    int32_t unfinished;   // tasks of the batch not yet returned
};

template <typename System>
WorkerPool<System>* poolOf(Workers* workers) {
    static_assert(sizeof(WorkerPool<System>) <= kWorkersStateBytes && alignof(WorkerPool<System>) <= 16);
    return reinterpret_cast<WorkerPool<System>*>(workers->state);
}

// Takes tasks of the current batch until none is left; called and returns holding the lock.
template <typename System>
void runPoolTasks(WorkerPool<System>* p) {
    while (p->next < p->tasks) {
        int32_t index = p->next++;
        System::unlock(&p->lock);
        p->task(p->context, index);
        System::lock(&p->lock);
        if (--p->unfinished == 0) System::signal(&p->done);
    }
}

// A worker's life: wait for a batch, help run it, until the pool stops.
template <typename System>
void runWorker(WorkerPool<System>* p) {
    System::lock(&p->lock);
    int32_t seen = p->batch;
    for (;;) {
        while (!p->stopping && p->batch == seen) System::wait(&p->wake, &p->lock);
        if (p->stopping) break;
        seen = p->batch;
        runPoolTasks(p);
    }
    System::unlock(&p->lock);
}

template <typename System>
void stopPool(Workers* workers) {
    WorkerPool<System>* p = poolOf<System>(workers);
    if (p->workerCount > 0) {
        System::lock(&p->lock);
        p->stopping = 1;
        System::broadcast(&p->wake);
        System::unlock(&p->lock);
        for (int32_t i = 0; i < p->workerCount; i++) System::join(p->threads[i]);
    }
    if (p->initialised) System::destroy(p);
    std::memset(workers->state, 0, sizeof workers->state);
}

template <typename System>
int32_t startPool(Workers* workers, int32_t threads) {
    WorkerPool<System>* p = poolOf<System>(workers);
    if (!p->initialised) {
        p = new (workers->state) WorkerPool<System>{};
        System::create(p);
        p->initialised = 1;
    }
    if (threads > kMaxThreads) threads = kMaxThreads;
    while (p->workerCount + 1 < threads && System::startThread(&p->threads[p->workerCount], p)) p->workerCount++;
    if (p->workerCount == 0) stopPool<System>(workers);
    return p->workerCount + 1;
}

template <typename System>
void runOnPool(Workers* workers, WorkerTask task, void* context, int32_t tasks) {
    WorkerPool<System>* p = poolOf<System>(workers);
    if (p->workerCount == 0 || tasks <= 1) {
        for (int32_t i = 0; i < tasks; i++) task(context, i);
        return;
    }
    System::lock(&p->lock);
    p->task = task;
    p->context = context;
    p->tasks = tasks;
    p->next = 0;
    p->unfinished = tasks;
    p->batch++;
    System::broadcast(&p->wake);
    runPoolTasks(p);
    while (p->unfinished > 0) System::wait(&p->done, &p->lock);
    System::unlock(&p->lock);
}
