#include "business/ZrBusinessObject.h"

void ZrBusinessObject::UpdateSubscription(const RequestPtr& request)
{
    if (!request)
        return;
    auto sameSubscriber = [&request](const RequestPtr& entry) {
        return entry && entry->receiverId == request->receiverId && entry->context == request->context;
    };

    std::lock_guard<std::mutex> lock(m_mutex);
    if (request->mode == kModeSubscribe) {
        auto& list = m_subscriptions[request->type];
        list.remove_if(sameSubscriber);
        list.push_back(request);
        return;
    }
    auto it = m_subscriptions.find(request->type);
    if (it != m_subscriptions.end())
        it->second.remove_if(sameSubscriber);
}

std::vector<ZrBusinessObject::RequestPtr> ZrBusinessObject::Subscribers(int32_t type) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_subscriptions.find(type);
    if (it == m_subscriptions.end())
        return {};
    return {it->second.begin(), it->second.end()};
}
