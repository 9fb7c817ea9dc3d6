#pragma once

// A unit of work for the pool. Held by shared ownership: the queue holds one
// reference per queued task, the worker holds it while running it.
class WeTask {
public:
    virtual ~WeTask() = default;
    virtual void Execute() = 0;
    virtual void OnFinish() {}
};
