#pragma once
#include "platform/Win32.h"

#include "business/ParamReqInfo.h"
#include "net/WeSocketChannel.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

// The one connection to the vendor's push service for the logged-in user.
// Its address comes from a signed HTTP request; once connected the channel
// announces the user, subscribes every topic in its map and delivers each
// message to the subscribers of the message's "topic". A message that names
// the user's token as expired stops the channel until the next start.
class PushCore : public WeSocketChannel {
public:
    using OpenNotice = std::function<void()>;
    // A synchronous signed POST; the answer arrives in the request's
    // onResponse before it returns.
    using PostFn = std::function<bool(std::shared_ptr<ParamReqInfo>)>;

    static constexpr const char* kAppCode = "com.tmkw.corvid";
    static constexpr const char* kTokenExpiryTopic = "user:off:line:topic";
    static constexpr int32_t kFrameSubscribe = 5;
    static constexpr int32_t kFrameUnsubscribe = 6;

    // store: user name, token, configuration and proxy settings, read at each
    // use. onOpen runs on the connecting thread after the first connection of
    // each start.
    PushCore(WeHttpStore store, PostFn post, OpenNotice onOpen);
    ~PushCore() override;

    PushCore(const PushCore&) = delete;
    PushCore& operator=(const PushCore&) = delete;

    // Restarts the channel with no subscriptions but the token-expiry one.
    void start();
    void subscribe(std::shared_ptr<ParamReqInfo> request);
    // One heartbeat step; the business manager calls it every 30 s.
    void keepAlive();


    // The frames as they go out. Texts are escaped as JSON string content:
    // a user name or topic can never end the string it is written into.
    static std::string HeartbeatFrame();
    static std::string OpeningFrame(int64_t userId, const std::string& userName, int32_t type);
    static std::string TopicFrame(int64_t userId, const std::string& userName, const std::string& topic, int32_t type);
    static std::string AddressBody(const std::string& userName);

    // IWebSocket
    void OnConnectStatus(void* context, WebSocketStatus status) override;
    void OnTextMessage(void* context, const char* data, size_t length) override;

private:
    using Subscribers = std::list<std::shared_ptr<ParamReqInfo>>;

    void ChannelLoop() override;
    void RequestAddress();
    void SendTopicFrameLocked(const std::string& topic, int32_t type);
    void OnTokenExpiry(const std::shared_ptr<Json::Value>& root);
    std::string UserName() const;

    PostFn m_post;
    OpenNotice m_onOpen;

    // Under the channel mutex, with the client.
    int64_t m_userId = 0;
    std::map<std::string, Subscribers> m_subscriptions;

    // Written and read on the channel thread only.
    std::string m_address;
    int64_t m_addressUserId = 0;
};

// Text as the content of a JSON string (without the quotes); UTF-8 stays.
std::string JsonEscape(const std::string& text);
