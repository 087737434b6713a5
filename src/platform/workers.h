// Worker threads: a set of threads started for the length of one host call, given batches of
// tasks to run beside the calling thread. The host calls the module on one thread at a time;
// the workers exist only while such a call runs, so none outlives the memory it reads. The
// record holds the system's threads and their synchronisation and must not move while they
// run.
#pragma once

#include <cstdint>

constexpr int32_t kMaxThreads = 32;  // the calling thread and up to 31 workers
constexpr int32_t kWorkersStateBytes = 512;

typedef void (*WorkerTask)(void* context, int32_t index);

struct Workers {
    alignas(16) uint8_t state[kWorkersStateBytes];  // the system's threads; zero before the first start
};

// Threads the system lets this process run on at once, at least 1 and at most kMaxThreads.
int32_t hardwareThreads(void);

// Starts workers so that `threads` threads in all (the caller one of them) share the batches;
// returns how many there are (fewer when the system refuses a thread; 1 means only the caller).
// Workers already running stay.
int32_t startWorkers(Workers* workers, int32_t threads);

// Runs task(context, i) for every i in 0 .. tasks - 1, spread over the calling thread and the
// workers, and returns when every task has returned.
void runOnWorkers(Workers* workers, WorkerTask task, void* context, int32_t tasks);

// Ends the workers and waits for them; nothing happens when none run.
void stopWorkers(Workers* workers);
