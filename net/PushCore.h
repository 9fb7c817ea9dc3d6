#pragma once
#include "platform/Win32.h"

#include "business/ParamReqInfo.h"
#include "net/WeHttpService.h"
#include "net/WebSocketClient.h"
#include "platform/ScopedWin.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The one connection to the vendor's push service for the logged-in user.
// Its address comes from a signed HTTP request; once connected the channel
// announces the user, subscribes every topic in its map and delivers each
// message to the subscribers of the message's "topic". A message that names
// the user's token as expired stops the channel until the next start.
class PushCore : public IWebSocket {
public:
    using OpenNotice = std::function<void()>;
    // A synchronous signed POST; the answer arrives in the request's
    // onResponse before it returns.
    using PostFn = std::function<bool(std::shared_ptr<ParamReqInfo>)>;

    static constexpr const char* kAppCode = "com.tmkw.corvid";
    static constexpr const char* kTokenExpiryTopic = "user:off:line:topic";
    static constexpr int32_t kFrameSubscribe = 5;
    static constexpr int32_t kFrameUnsubscribe = 6;
    static constexpr int32_t kMaxMissedHeartbeats = 5;
    static constexpr DWORD kReconnectWaitMs = 5000;
    static constexpr int kConnectTimeoutMs = 100000;

    // store: user name, token, configuration and proxy settings, read at each
    // use. onOpen runs on the connecting thread after the first connection of
    // each start.
    PushCore(WeHttpStore store, PostFn post, OpenNotice onOpen);
    ~PushCore() override;

    PushCore(const PushCore&) = delete;
    PushCore& operator=(const PushCore&) = delete;

    // Restarts the channel with no subscriptions but the token-expiry one.
    void start();
    // Never from the channel thread itself (it joins it).
    void stop();
    void subscribe(std::shared_ptr<ParamReqInfo> request);
    // One heartbeat step; the business manager calls it every 30 s.
    void keepAlive();

    int32_t MissedHeartbeats() const { return m_missedHeartbeats.load(); }

    // The frames as they go out. Texts are escaped as JSON string content:
    // a user name or topic can never end the string it is written into.
    static std::string HeartbeatFrame();
    static std::string OpeningFrame(int64_t userId, const std::string& userName, int32_t type);
    static std::string TopicFrame(int64_t userId, const std::string& userName, const std::string& topic, int32_t type);
    static std::string AddressBody(const std::string& userName);

    // IWebSocket
    void OnConnectStatus(void* context, WebSocketStatus status) override;
    void OnTextMessage(void* context, const char* data, size_t length) override;
    bool OnOtherMessage(void* context, const char* data, size_t length) override;
    void OnAlive(void* context, const char* data, size_t length) override;

private:
    using Subscribers = std::list<std::shared_ptr<ParamReqInfo>>;

    void ChannelLoop();
    void RequestAddress();
    void SendTopicFrameLocked(const std::string& topic, int32_t type);
    void OnTokenExpiry(const std::shared_ptr<Json::Value>& root);
    std::string UserName() const;

    WeHttpStore m_store;
    PostFn m_post;
    OpenNotice m_onOpen;

    // Guards the clients, the user id and the subscriptions. Recursive: a
    // handler may subscribe again on the thread that delivers to it.
    std::recursive_mutex m_mutex;
    std::shared_ptr<WebSocketClient> m_client;
    // The client whose Connect is in progress, so that stop can abandon it.
    std::shared_ptr<WebSocketClient> m_connecting;
    int64_t m_userId = 0;
    std::map<std::string, Subscribers> m_subscriptions;

    // Written and read on the channel thread only.
    std::string m_address;
    int64_t m_addressUserId = 0;

    std::thread m_thread;
    ScopedHandle m_wakeEvent;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_openNotice{true};
    std::atomic<int32_t> m_missedHeartbeats{0};
};

// Text as the content of a JSON string (without the quotes); UTF-8 stays.
std::string JsonEscape(const std::string& text);
