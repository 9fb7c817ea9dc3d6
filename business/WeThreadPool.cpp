#include "business/WeThreadPool.h"

#include <chrono>

void WeThreadV1::RunTask(const std::shared_ptr<WeTask>& task)
{
    // A failing task must never take its worker down with it.
    try {
        task->Execute();
        task->OnFinish();
    } catch (...) {
    }
}

WeThreadPool::WeThreadPool() = default;

WeThreadPool::~WeThreadPool()
{
    Stop();
}

WeThreadV1* WeThreadPool::NewWorker()
{
    return new (std::nothrow) WeThreadV1(*this);
}

void WeThreadPool::DeleteWorker(WeThreadV1* worker)
{
    delete worker;
}

void WeThreadPool::Start(int /*count*/)
{
    for (int i = 0; i < kWorkerCount; ++i) {
        WeThreadV1* worker = NewWorker();
        if (!worker)
            continue;
        try {
            worker->m_thread = std::make_unique<std::thread>(&WeThreadPool::WorkerLoop, this, worker);
        } catch (...) {
            DeleteWorker(worker);
            continue;
        }
        m_threads.push_back(worker);
    }
}

void WeThreadPool::WorkerLoop(WeThreadV1* worker)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartSleepMs));
    worker->OnThreadStart();
    while (worker->m_running.load()) {
        std::shared_ptr<WeTask> task;
        if (m_queue.wait_dequeue_timed(task, std::chrono::milliseconds(kWaitMs)) && task)
            worker->RunTask(task);
    }
    worker->OnThreadExit();
}

void WeThreadPool::Stop()
{
    for (WeThreadV1* worker : m_threads) {
        worker->m_running.exchange(false);
        // Wakes a waiting worker at once; it may be another one than this.
        AddTask(nullptr);
        if (worker->m_thread && worker->m_thread->joinable())
            worker->m_thread->join();
        DeleteWorker(worker);
    }
    m_threads.clear();
}

bool WeThreadPool::AddTask(std::shared_ptr<WeTask> task)
{
    return m_queue.enqueue(std::move(task));
}
