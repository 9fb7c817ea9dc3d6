#pragma once
#include "business/DataCoreRequest.h"

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// Base of the business managers. Each keeps the requests that subscribed to
// it, by request type; the broadcasts of the business manager reach it through
// the virtual operations, always in the manager list's order.
class ZrBusinessManager;

class ZrBusinessObject {
public:
    using RequestPtr = std::shared_ptr<DataCoreRequest>;

    explicit ZrBusinessObject(ZrBusinessManager& owner) : m_owner(owner) {}
    virtual ~ZrBusinessObject() = default;

    ZrBusinessObject(const ZrBusinessObject&) = delete;
    ZrBusinessObject& operator=(const ZrBusinessObject&) = delete;

    virtual void Init() = 0;
    virtual void Uninit() = 0;
    virtual void OnHeartbeat() {}
    virtual bool OnTimer(int32_t timerId) { return false; }
    virtual void OnReload() {}
    virtual void OnNotify(int32_t code, int32_t param) {}
    virtual void OnStationStateChanged(bool running) {}
    virtual void OnQuoteChannelOpen() {}
    virtual void OnPushChannelOpen() {}

    // Mode 1 adds the request, replacing an earlier one from the same receiver
    // id and context; any other mode removes the matching entries.
    void UpdateSubscription(const RequestPtr& request);
    // A snapshot of the subscribers of one type, in subscription order.
    std::vector<RequestPtr> Subscribers(int32_t type) const;

protected:
    ZrBusinessManager& Owner() const { return m_owner; }

    mutable std::mutex m_mutex;
    std::map<int32_t, std::list<RequestPtr>> m_subscriptions;

private:
    ZrBusinessManager& m_owner;
};
