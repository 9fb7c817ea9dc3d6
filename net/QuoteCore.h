#pragma once
#include "platform/Win32.h"

#include "business/ParamReqInfo.h"
#include "net/WeHttpService.h"
#include "net/WebSocketClient.h"
#include "platform/ScopedWin.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The one connection to the vendor's quote service. Requests are sent as
// JSON frames numbered by their serial; every answer carrying that number
// goes back to the request's onPush. Kept subscriptions (mode 1) live until
// a mode 3 request with the same tag removes them and are sent again on
// every new connection.
class QuoteCore : public IWebSocket {
public:
    using OpenNotice = std::function<void()>;

    // store: configuration and proxy settings, read at each use. onOpen runs
    // on the connecting thread after the first connection of each start.
    QuoteCore(WeHttpStore store, OpenNotice onOpen);
    ~QuoteCore() override;

    QuoteCore(const QuoteCore&) = delete;
    QuoteCore& operator=(const QuoteCore&) = delete;

    static constexpr int32_t kInfoRemove = 32;
    static constexpr int32_t kMaxMissedHeartbeats = 5;
    static constexpr DWORD kReconnectWaitMs = 5000;
    static constexpr int kConnectTimeoutMs = 100000;

    void start();
    // Never from the channel thread itself (it joins it).
    void stop();
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
    bool OnOtherMessage(void* context, const char* data, size_t length) override;
    void OnAlive(void* context, const char* data, size_t length) override;

private:
    void ChannelLoop();
    void SendFrameLocked(const ParamReqInfo& request, int32_t info);

    WeHttpStore m_store;
    OpenNotice m_onOpen;

    // Guards the clients and the request map. Recursive: answer handlers run
    // under it and may send again.
    std::recursive_mutex m_mutex;
    std::shared_ptr<WebSocketClient> m_client;
    // The client whose Connect is in progress, so that stop can abandon it.
    std::shared_ptr<WebSocketClient> m_connecting;
    std::map<int64_t, std::shared_ptr<ParamReqInfo>> m_requests;

    std::thread m_thread;
    ScopedHandle m_wakeEvent;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_openNotice{true};
    std::atomic<int32_t> m_missedHeartbeats{0};
    std::string m_heartbeat; // written by start before the thread runs
};
