#pragma once
#include "business/WeTask.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <blockingconcurrentqueue.h>

class WeThreadPool;

// Spell the spin count out rather than rely on the library's default: an idle
// worker spins this often on the semaphore before it blocks in the kernel.
struct WeQueueTraits : moodycamel::ConcurrentQueueDefaultTraits {
    static const int MAX_SEMA_SPINS = 10000;
};

// One worker thread of the pool.
class WeThreadV1 {
public:
    explicit WeThreadV1(WeThreadPool& pool) : m_pool(pool) {}
    // Only called after Stop has joined the thread.
    virtual ~WeThreadV1() = default;

    WeThreadV1(const WeThreadV1&) = delete;
    WeThreadV1& operator=(const WeThreadV1&) = delete;

    virtual void RunTask(const std::shared_ptr<WeTask>& task);
    virtual void OnThreadStart() {}
    virtual void OnThreadExit() {}

private:
    friend class WeThreadPool;

// Spell the spin count out rather than rely on the library's default: an idle
// worker spins this often on the semaphore before it blocks in the kernel.
struct WeQueueTraits : moodycamel::ConcurrentQueueDefaultTraits {
    static const int MAX_SEMA_SPINS = 10000;
};

    WeThreadPool& m_pool;
    std::unique_ptr<std::thread> m_thread;
    std::atomic<bool> m_running{true};
};

// A fixed set of workers on one lock-free multi-producer queue. No order
// between tasks and no priorities: any idle worker takes the next task.
class WeThreadPool {
public:
    static constexpr int kWorkerCount = 6;
    static constexpr int kWaitMs = 100;
    static constexpr int kStartSleepMs = 10;

    WeThreadPool();
    virtual ~WeThreadPool();

    WeThreadPool(const WeThreadPool&) = delete;
    WeThreadPool& operator=(const WeThreadPool&) = delete;

    // The argument is kept for callers that pass one; the pool always runs
    // kWorkerCount workers.
    void Start(int count);
    void Stop();
    // Safe from any thread, the workers included. An empty task is queued and
    // skipped by the worker that takes it.
    bool AddTask(std::shared_ptr<WeTask> task);

    size_t WorkerCount() const { return m_threads.size(); }

protected:
    virtual WeThreadV1* NewWorker();
    virtual void DeleteWorker(WeThreadV1* worker);

private:
    void WorkerLoop(WeThreadV1* worker);

    std::vector<WeThreadV1*> m_threads;
    moodycamel::BlockingConcurrentQueue<std::shared_ptr<WeTask>, WeQueueTraits> m_queue;
};
