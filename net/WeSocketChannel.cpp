#include "net/WeSocketChannel.h"

#include <cstring>

WeSocketChannel::WeSocketChannel(WeHttpStore store)
    : m_store(std::move(store)), m_wakeEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

WeSocketChannel::~WeSocketChannel()
{
    // The derived channel has stopped already: its thread used its members.
    stop();
}

void WeSocketChannel::StartThread()
{
    m_missedHeartbeats = 0;
    m_stop = false;
    if (m_wakeEvent)
        ::ResetEvent(m_wakeEvent.Get());
    m_thread = std::thread([this] {
        m_openNotice = true;
        ChannelLoop();
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_connecting.reset();
    });
}

void WeSocketChannel::RequestStop()
{
    m_stop = true;
    if (m_wakeEvent)
        ::SetEvent(m_wakeEvent.Get());
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_client)
        m_client->DisConnect();
    if (m_connecting)
        m_connecting->DisConnect();
}

void WeSocketChannel::stop()
{
    std::lock_guard<std::mutex> running(m_runLock);
    StopLocked();
}

void WeSocketChannel::StopLocked()
{
    RequestStop();
    if (m_thread.joinable())
        m_thread.join();
}

std::shared_ptr<WebSocketClient> WeSocketChannel::Connect(const std::string& address)
{
    auto client = std::make_shared<WebSocketClient>(this, nullptr);
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_connecting = client;
    }
    if (!m_stop) {
        const WeHttpStoreValues values = m_store.values ? m_store.values() : WeHttpStoreValues();
        if (values.proxy && values.proxy->ProxyType == 1) {
            const ZrProxyData& proxy = *values.proxy;
            client->SetProxy(std::string(proxy.Domain, strnlen(proxy.Domain, sizeof(proxy.Domain))),
                             static_cast<uint16_t>(proxy.Port),
                             std::string(proxy.UserName, strnlen(proxy.UserName, sizeof(proxy.UserName))),
                             std::string(proxy.Password, strnlen(proxy.Password, sizeof(proxy.Password))));
        }
        if (client->Connect(address, {}, kConnectTimeoutMs))
            return client;
    }
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_connecting.reset();
    return nullptr;
}

bool WeSocketChannel::WaitBeforeRetry()
{
    if (m_stop)
        return false;
    if (!m_wakeEvent) {
        // Without its event (creation failed) the channel still retries,
        // looking at the stop flag in short naps.
        for (DWORD slept = 0; slept < kReconnectWaitMs && !m_stop; slept += 100)
            ::Sleep(100);
        return !m_stop;
    }
    const DWORD waited = ::WaitForSingleObject(m_wakeEvent.Get(), kReconnectWaitMs);
    return waited == WAIT_TIMEOUT && !m_stop;
}

bool WeSocketChannel::OnOtherMessage(void*, const char*, size_t)
{
    return false;
}

void WeSocketChannel::OnAlive(void*, const char*, size_t)
{
    m_missedHeartbeats = 0;
}
