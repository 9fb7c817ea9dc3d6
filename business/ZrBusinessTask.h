#pragma once
#include "business/WeTask.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class ZrBusinessObject;

class ZrBusinessTask : public WeTask {
public:
    void Execute() override { DoTask(); }
    virtual void DoTask() = 0;
};

// Runs the bool callable when set (its result is dropped), else the other one.
class ZrBusinessCommonTask : public ZrBusinessTask {
public:
    explicit ZrBusinessCommonTask(std::function<bool()> fn) : m_boolFn(std::move(fn)) {}
    explicit ZrBusinessCommonTask(std::function<void()> fn) : m_voidFn(std::move(fn)) {}

    void DoTask() override;

private:
    std::function<bool()> m_boolFn;
    std::function<void()> m_voidFn;
};

// Offers a timer id to the managers in list order until one takes it.
class ZrBusinessTimerTask : public ZrBusinessTask {
public:
    using ManagerList = std::map<int32_t, std::unique_ptr<ZrBusinessObject>>;

    ZrBusinessTimerTask(const ManagerList& managers, int32_t timerId) : m_managers(managers), m_timerId(timerId) {}

    void DoTask() override;
    int32_t TimerId() const { return m_timerId; }

private:
    const ManagerList& m_managers;
    int32_t m_timerId;
};
