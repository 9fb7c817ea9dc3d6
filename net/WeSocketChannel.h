#pragma once
#include "platform/Win32.h"

#include "net/WeHttpService.h"
#include "net/WebSocketClient.h"
#include "platform/ScopedWin.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// What the push and quote channels share: one channel thread that connects,
// runs a client until its connection ends, waits 5 s and connects again until
// stopped; a stop that reaches the client wherever the thread is, even inside
// a handshake; the heartbeat counter that every sign of life resets.
class WeSocketChannel : public IWebSocket {
public:
    static constexpr int32_t kMaxMissedHeartbeats = 5;
    static constexpr DWORD kReconnectWaitMs = 5000;
    static constexpr int kConnectTimeoutMs = 100000;

    ~WeSocketChannel() override;

    WeSocketChannel(const WeSocketChannel&) = delete;
    WeSocketChannel& operator=(const WeSocketChannel&) = delete;

    // Never from the channel thread itself (it joins it). Safe against a
    // start or stop on another thread: the business manager's tasks may run
    // them on two workers at once.
    void stop();

    int32_t MissedHeartbeats() const { return m_missedHeartbeats.load(); }

    bool OnOtherMessage(void* context, const char* data, size_t length) override;
    void OnAlive(void* context, const char* data, size_t length) override;

protected:
    explicit WeSocketChannel(WeHttpStore store);

    // The thread's work, from the first connection to the end.
    virtual void ChannelLoop() = 0;

    // Stops the running thread, calls prepare (with the thread stopped and
    // no other start or stop under way), clears the stop flag and the
    // heartbeat counter and starts the thread again.
    template <typename Prepare>
    void Restart(Prepare&& prepare)
    {
        std::lock_guard<std::mutex> running(m_runLock);
        StopLocked();
        prepare();
        StartThread();
    }
    // Sets the stop flag, ends a running wait and disconnects the client.
    void RequestStop();
    // A client connected to address with the proxy settings applied; null
    // when the connection failed or a stop came first. Until RunClient takes
    // it over, a stop disconnects it.
    std::shared_ptr<WebSocketClient> Connect(const std::string& address);
    // Stores the client, calls sendLocked under the channel mutex (to send
    // what the new connection needs) and runs the client until it ends.
    template <typename SendLocked>
    void RunClient(const std::shared_ptr<WebSocketClient>& client, SendLocked&& sendLocked)
    {
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            m_connecting.reset();
            m_client = client;
            sendLocked();
        }
        client->Run();
    }
    // After a connection: false when the thread should end (stopped, or
    // woken during the 5 s wait), true when it should connect again.
    bool WaitBeforeRetry();

    WeHttpStore m_store;
    // Guards the clients and what the derived channel keeps with them.
    // Recursive: handlers run under it in one channel and may send again.
    std::recursive_mutex m_mutex;
    std::shared_ptr<WebSocketClient> m_client;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_openNotice{true};
    std::atomic<int32_t> m_missedHeartbeats{0};

private:
    void StartThread();
    void StopLocked();

    // Serialises start and stop; never taken on the channel thread.
    std::mutex m_runLock;
    // The client whose Connect is in progress, so that stop can abandon it.
    std::shared_ptr<WebSocketClient> m_connecting;
    std::thread m_thread;
    ScopedHandle m_wakeEvent;
};
