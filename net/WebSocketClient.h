#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

typedef void CURL;
struct curl_slist;

// Only 1 (open) is tested by the channels; the others are for diagnostics.
enum WebSocketStatus : int {
    WebSocketIdle = 0,
    WebSocketOpen = 1,
    WebSocketClosed = 2,
    WebSocketFailed = 3,
};

// Events of one connection. They arrive on the thread that runs Run(), never
// while the client holds its own lock, so a handler may call SendText or
// DisConnect on the same client.
class IWebSocket {
public:
    virtual ~IWebSocket() = default;
    virtual void OnConnectStatus(void* context, WebSocketStatus status) = 0;
    // One whole text message, fragments already joined.
    virtual void OnTextMessage(void* context, const char* data, size_t length) = 0;
    // Binary messages.
    virtual bool OnOtherMessage(void* context, const char* data, size_t length) = 0;
    // A ping (already answered) or a pong from the peer.
    virtual void OnAlive(void* context, const char* data, size_t length) = 0;
};

// One WebSocket connection (ws:// or wss://) on libcurl's WebSocket API.
//
// Threads: every use of the curl handle happens under m_handleLock. Run()
// holds it only while draining what already arrived and waits for the socket
// without it, so SendText from another thread gets the handle within one
// drain and reports whether its frame really went out (a send queue could
// only say "queued"). Callbacks are dispatched after the lock is released.
class WebSocketClient {
public:
    // Once per process, before any client: libcurl's global state (Winsock).
    static bool InitializeClient();

    // Longest message kept while joining fragments; a longer one ends the
    // connection with close code 1009 instead of growing without bound.
    static constexpr size_t kMaxMessageBytes = 16u * 1024u * 1024u;

    WebSocketClient(IWebSocket* handler, void* context);
    ~WebSocketClient();
    WebSocketClient(const WebSocketClient&) = delete;
    WebSocketClient& operator=(const WebSocketClient&) = delete;

    // HTTP proxy; wss:// and ws:// both go through a CONNECT tunnel.
    void SetProxy(const std::string& host, uint16_t port, const std::string& userName,
                  const std::string& password);
    // Opens the connection: TCP, TLS for wss:// (certificates not checked, as
    // for HTTP), upgrade handshake. timeoutMs bounds all of it.
    [[nodiscard]] bool Connect(const std::string& url, const std::map<std::string, std::string>& headers,
                               int timeoutMs);
    // Receives until the peer closes, the connection breaks, a frame is bad
    // or DisConnect is called; then releases the connection.
    void Run();
    [[nodiscard]] bool SendText(const std::string& text);
    WebSocketStatus GetConnectStatus() const { return m_status.load(); }
    // Never blocks: Run() notices within one wait and returns; a Connect in
    // progress (or one that starts later) fails instead.
    void DisConnect();

private:
    bool ConnectLocked(const std::string& url, const std::map<std::string, std::string>& headers, int timeoutMs);
    bool SendFrameLocked(const char* data, size_t length, unsigned flags);
    void ReleaseLocked();

    IWebSocket* m_handler;
    void* m_context;
    std::string m_proxyHost;
    uint16_t m_proxyPort = 0;
    std::string m_proxyUser;
    std::string m_proxyPassword;

    std::mutex m_handleLock;
    CURL* m_curl = nullptr;            // guarded by m_handleLock
    curl_slist* m_headers = nullptr;
    uintptr_t m_socket = ~uintptr_t(0);
    void* m_socketEvent = nullptr;     // WSAEVENT: readable or closed
    void* m_wakeEvent = nullptr;       // DisConnect
    std::atomic<WebSocketStatus> m_status{WebSocketIdle};
    std::atomic<bool> m_stop{false};
};
