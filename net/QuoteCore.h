#pragma once
#include "platform/Win32.h"

#include "business/ParamReqInfo.h"
#include "net/WeSocketChannel.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

// The one connection to the vendor's quote service. Requests are sent as
// JSON frames numbered by their serial; every answer carrying that number
// goes back to the request's onPush. Kept subscriptions (mode 1) live until
// a mode 3 request with the same tag removes them and are sent again on
// every new connection.
class QuoteCore : public WeSocketChannel {
public:
    using OpenNotice = std::function<void()>;

    // store: configuration and proxy settings, read at each use. onOpen runs
    // on the connecting thread after the first connection of each start.
    QuoteCore(WeHttpStore store, OpenNotice onOpen);
    ~QuoteCore() override;

    QuoteCore(const QuoteCore&) = delete;
    QuoteCore& operator=(const QuoteCore&) = delete;

    static constexpr int32_t kInfoRemove = 32;

    void start();
    void send(std::shared_ptr<ParamReqInfo> request);
    // One heartbeat step; the business manager calls it every 30 s.
    void keepAlive();
    // Forgets every stored request; after stop, at shutdown.
    void clear();

    // The frame of a request as it goes out.
    static std::string FrameText(const ParamReqInfo& request, int32_t info);

    // IWebSocket
    void OnConnectStatus(void* context, WebSocketStatus status) override;
    void OnTextMessage(void* context, const char* data, size_t length) override;

private:
    void ChannelLoop() override;
    void SendFrameLocked(const ParamReqInfo& request, int32_t info);

    OpenNotice m_onOpen;
    // Under the channel mutex; answer handlers run under it and may send.
    std::map<int64_t, std::shared_ptr<ParamReqInfo>> m_requests;
    std::string m_heartbeat; // under the channel mutex
};
