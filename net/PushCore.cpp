#include "net/PushCore.h"

#include "platform/DebugSink.h"
#include "platform/JsonRead.h"

#include <json/json.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

constexpr int32_t kModeRemove = 3;
constexpr int32_t kOpeningFirst = 1;
constexpr int32_t kOpeningSecond = 3;

bool SameSubscriber(const ParamReqInfo& a, const ParamReqInfo& b)
{
    return a.origin && b.origin && a.origin->receiverId == b.origin->receiverId
           && a.origin->context == b.origin->context;
}

std::string Int64Text(int64_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%" PRId64, value);
    return text;
}

} // namespace

std::string JsonEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out;
}

PushCore::PushCore(WeHttpStore store, PostFn post, OpenNotice onOpen)
    : WeSocketChannel(std::move(store)), m_post(std::move(post)), m_onOpen(std::move(onOpen))
{
}

PushCore::~PushCore()
{
    stop();
}

std::string PushCore::HeartbeatFrame()
{
    return "{\"type\":2}";
}

std::string PushCore::OpeningFrame(int64_t userId, const std::string& userName, int32_t type)
{
    // The two opening frames differ in one space, as the service knows them.
    const char* nameSeparator = type == kOpeningFirst ? "\"username\":\"" : "\"username\": \"";
    return "{\"userId\": " + Int64Text(userId) + ", " + nameSeparator + JsonEscape(userName) + "\", \"appCode\": \""
           + kAppCode + "\", \"type\": " + std::to_string(type) + "}";
}

std::string PushCore::TopicFrame(int64_t userId, const std::string& userName, const std::string& topic, int32_t type)
{
    return "{\"userId\": " + Int64Text(userId) + ", \"username\": \"" + JsonEscape(userName) + "\", \"topic\": \""
           + JsonEscape(topic) + "\", \"appCode\": \"" + kAppCode + "\", \"type\": " + std::to_string(type) + "}";
}

std::string PushCore::AddressBody(const std::string& userName)
{
    return "{\"username\":\"" + JsonEscape(userName) + "\",\"appCode\":\"" + kAppCode + "\",\"channel\":\"pc\"}";
}

std::string PushCore::UserName() const
{
    return m_store.values ? m_store.values().userName : std::string();
}

void PushCore::start()
{
    const std::string token = m_store.values ? m_store.values().token : std::string();
    Restart([&] {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_subscriptions.clear();
        if (token.empty())
            return;
        auto expiry = std::make_shared<ParamReqInfo>();
        expiry->mode = 1;
        expiry->body = kTokenExpiryTopic;
        expiry->onPush = [this](const std::shared_ptr<ParamReqInfo>&, const std::shared_ptr<Json::Value>& root) {
            OnTokenExpiry(root);
        };
        m_subscriptions[kTokenExpiryTopic].push_back(std::move(expiry));
    });
}

void PushCore::SendTopicFrameLocked(const std::string& topic, int32_t type)
{
    // Goes to the current client only; the map is sent again whenever a new
    // connection opens.
    if (m_client)
        (void)m_client->SendText(TopicFrame(m_userId, UserName(), topic, type));
}

void PushCore::subscribe(std::shared_ptr<ParamReqInfo> request)
{
    if (!request)
        return;
    const std::string& topic = request->body;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_subscriptions.find(topic);
    if (request->mode == kModeRemove) {
        if (it == m_subscriptions.end())
            return;
        Subscribers& list = it->second;
        for (auto entry = list.begin(); entry != list.end(); ++entry) {
            if (SameSubscriber(**entry, *request)) {
                list.erase(entry);
                break;
            }
        }
        if (list.empty()) {
            m_subscriptions.erase(it);
            SendTopicFrameLocked(topic, kFrameUnsubscribe);
        }
        return;
    }
    if (it == m_subscriptions.end()) {
        m_subscriptions[topic].push_back(request);
        SendTopicFrameLocked(topic, kFrameSubscribe);
        return;
    }
    for (auto& entry : it->second) {
        if (SameSubscriber(*entry, *request)) {
            entry = request;
            return;
        }
    }
    it->second.push_back(request);
}

void PushCore::keepAlive()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_client)
        return;
    if (m_missedHeartbeats < kMaxMissedHeartbeats) {
        // An ended connection is not counted against the service.
        if (m_client->GetConnectStatus() != WebSocketOpen)
            return;
        ++m_missedHeartbeats;
        if (!m_client->SendText(HeartbeatFrame())) {
            m_missedHeartbeats = 0;
            m_client->DisConnect();
        }
    } else {
        m_missedHeartbeats = 0;
        DebugOutput(L"[Push] no sign of life: reconnecting\n");
        m_client->DisConnect();
    }
}

void PushCore::RequestAddress()
{
    auto request = std::make_shared<ParamReqInfo>();
    request->section = "pushcore";
    request->key = "requrl";
    request->body = AddressBody(UserName());
    std::string answer;
    request->onResponse = [&answer](const std::shared_ptr<ParamReqInfo>&, const char* body, uint32_t length) {
        answer.assign(body ? body : "", body ? length : 0);
    };
    if (!m_post || !m_post(request))
        return;
    Json::Value root;
    if (!JsonRead::Parse(answer, root) || !root.isObject())
        return;
    const Json::Value& data = root["data"];
    if (!data.isObject())
        return;
    const Json::Value& wss = data["wss"];
    const Json::Value& userId = data["userId"];
    const bool integer = userId.type() == Json::intValue || userId.type() == Json::uintValue;
    if (!wss.isString() || !integer || !userId.isInt64() || userId.asInt64() < 0)
        return;
    m_address = wss.asString();
    m_addressUserId = userId.asInt64();
}

void PushCore::ChannelLoop()
{
    do {
        RequestAddress();
        if (m_address.empty())
            continue;
        if (m_stop)
            break;
        if (auto client = Connect(m_address)) {
            const std::string userName = UserName();
            (void)client->SendText(OpeningFrame(m_addressUserId, userName, kOpeningFirst));
            (void)client->SendText(OpeningFrame(m_addressUserId, userName, kOpeningSecond));
            RunClient(client, [this] {
                m_userId = m_addressUserId;
                for (const auto& [topic, subscribers] : m_subscriptions)
                    SendTopicFrameLocked(topic, kFrameSubscribe);
            });
        }
    } while (WaitBeforeRetry());
}

void PushCore::OnTokenExpiry(const std::shared_ptr<Json::Value>& root)
{
    if (!root || !root->isObject())
        return;
    const Json::Value& list = (*root)["expireTokenList"];
    if (!list.isArray())
        return;
    const std::string token = m_store.values ? m_store.values().token : std::string();
    bool expired = false;
    for (const Json::Value& element : list)
        expired = expired || (element.isString() && element.asString() == token);
    if (!expired)
        return;
    DebugOutput(L"[Push] token expired: channel stopped\n");
    RequestStop();
}

void PushCore::OnConnectStatus(void*, WebSocketStatus status)
{
    if (status != WebSocketOpen)
        return;
    m_missedHeartbeats = 0;
    if (m_openNotice.exchange(false) && m_onOpen)
        m_onOpen();
}

void PushCore::OnTextMessage(void*, const char* data, size_t length)
{
    if (!data || length == 0)
        return;
    m_missedHeartbeats = 0;
    auto root = std::make_shared<Json::Value>();
    if (!JsonRead::Parse(std::string_view(data, length), *root) || !root->isObject())
        return;
    const std::string topic = JsonRead::Text(*root, "topic");
    std::vector<std::shared_ptr<ParamReqInfo>> subscribers;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        auto it = m_subscriptions.find(topic);
        if (it == m_subscriptions.end())
            return;
        subscribers.assign(it->second.begin(), it->second.end());
    }
    try {
        for (const auto& subscriber : subscribers) {
            if (subscriber->onPush)
                subscriber->onPush(subscriber, root);
        }
    } catch (...) {
        return;
    }
}
