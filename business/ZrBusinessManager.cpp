#include "business/ZrBusinessManager.h"

#include "analytics/UsageAnalytics.h"
#include "business/ZrBusinessTask.h"
#include "business/ZrCommonData.h"
#include "business/ZrCommonMgr.h"
#include "business/ZrInfomationMgr.h"
#include "business/ZrLiveScheduleMgr.h"
#include "business/ZrQuotePriceMgr.h"
#include "business/ZrStockAbnormalMgr.h"
#include "business/ZrUserInfoMgr.h"
#include "platform/DebugSink.h"

namespace {
constexpr int32_t kNotifySectorChanged = 25;
} // namespace

ZrBusinessManager::ZrBusinessManager() = default;

ZrBusinessManager::~ZrBusinessManager()
{
    // The timer thread calls back into this object; end it before any member
    // goes away, so a tick can never reach a released pool or timer record.
    m_timerThread.Stop();
    Uninit();
}

void ZrBusinessManager::CreateManagers()
{
    AddManager(std::make_unique<ZrQuotePriceMgr>(*this));
    AddManager(std::make_unique<ZrStockAbnormalMgr>(*this));
    AddManager(std::make_unique<ZrInfomationMgr>(*this));
    AddManager(std::make_unique<ZrCommonMgr>(*this));
    AddManager(std::make_unique<ZrUserInfoMgr>(*this));
    AddManager(std::make_unique<ZrLiveScheduleMgr>(*this));
}

void ZrBusinessManager::AddManager(std::unique_ptr<ZrBusinessObject> manager)
{
    const auto index = static_cast<int32_t>(m_managers.size());
    m_managers[index] = std::move(manager);
}

WeHttpStore BusinessHttpStore(const ZrCommonData& data)
{
    WeHttpStore store;
    store.lookup = [&data](const std::string& section, const std::string& key) { return data.Lookup(section, key); };
    store.values = [&data] {
        WeHttpStoreValues v;
        v.userName = data.UserName();
        v.token = data.Token();
        v.serverId = data.ServerId();
        v.clientType = data.ClientType();
        v.appVersion = data.AppVersion();
        v.softName = data.SoftName();
        v.deviceId = data.DeviceId();
        v.agent = data.Agent();
        v.device = data.Device();
        v.sign = data.Lookup("urldata", "sign");
        v.signv1 = data.Lookup("urldata", "signv1");
        v.proxy = data.Proxy();
        return v;
    };
    store.baseDirectory = data.BaseDirectory();
    return store;
}

void ZrBusinessManager::Init()
{
    if (m_initialised)
        return;
    m_initialised = true;

    WebSocketClient::InitializeClient();
    CreateManagers();
    m_data = std::make_unique<ZrCommonData>();
    m_data->SetBaseDirectory(m_baseDirectory);
    m_data->Load();
    m_http = std::make_unique<WeHttpService>(BusinessHttpStore(*m_data));
    // The address request runs synchronously on the channel's own thread.
    m_push = std::make_unique<PushCore>(
        BusinessHttpStore(*m_data), [this](std::shared_ptr<ParamReqInfo> request) { return HttpPost(std::move(request), true); },
        [this] { BroadcastPushChannelOpen(); });
    m_quote = std::make_unique<QuoteCore>(BusinessHttpStore(*m_data), [this] { BroadcastQuoteChannelOpen(); });
    m_analytics = std::make_unique<UsageAnalytics>(*m_data, [this](std::shared_ptr<ParamReqInfo> request) {
        return HttpPost(std::move(request), false);
    });
    m_push->start();
    m_quote->start();
    // Handlers are registered here, before any worker runs: the handler table
    // and the manager list are read without a lock afterwards.
    for (auto& [index, manager] : m_managers)
        manager->Init();
    m_pool.Start(WeThreadPool::kWorkerCount);
    m_timerThread.Start(this);
}

void ZrBusinessManager::Uninit()
{
    if (!m_initialised)
        return;
    m_initialised = false;

    // No task may run against a manager that is about to go.
    m_pool.Stop();
    for (auto& [index, manager] : m_managers)
        manager->Uninit();
    // The channels stop between the managers' Uninit and their destruction:
    // Uninit may still unsubscribe through a channel, and after the channels
    // have stopped no callback bound to a manager can arrive any more.
    m_push->stop();
    m_quote->stop();
    m_quote->clear();
    for (auto& [index, manager] : m_managers)
        manager.reset();
    m_managers.clear();
    m_http.reset();
    m_push.reset();
    m_quote.reset();
    // The reporter reads the store: it cannot outlive it.
    m_analytics.reset();
    m_data.reset();
}

void ZrBusinessManager::RegisterHandler(int32_t type, Handler handler)
{
    m_handlers[type] = std::move(handler);
}

bool ZrBusinessManager::Request(std::shared_ptr<DataCoreRequest> request, bool now)
{
    if (!now)
        return AddTask(std::function<bool()>([this, request]() { return Request(request, true); }));
    if (!request)
        return false;
    auto it = m_handlers.find(request->type);
    if (it == m_handlers.end() || !it->second)
        return false;
    return it->second(request);
}

bool ZrBusinessManager::HttpGet(HttpRequest request, bool now)
{
    if (!now)
        return AddTask(std::function<bool()>([this, request]() { return HttpGet(request, true); }));
    return m_http && m_http->get(request);
}

bool ZrBusinessManager::HttpPost(HttpRequest request, bool now)
{
    if (!now)
        return AddTask(std::function<bool()>([this, request]() { return HttpPost(request, true); }));
    return m_http && m_http->post(request);
}

bool ZrBusinessManager::HttpDownload(HttpRequest request, bool now)
{
    if (!now)
        return AddTask(std::function<bool()>([this, request]() { return HttpDownload(request, true); }));
    return m_http && m_http->download(request);
}

bool ZrBusinessManager::QuoteRequest(HttpRequest request)
{
    if (m_quote)
        m_quote->send(std::move(request));
    // Success even without a channel: callers do not retry.
    return true;
}

bool ZrBusinessManager::PushRequest(HttpRequest request)
{
    if (m_push)
        m_push->subscribe(std::move(request));
    // Success even without a channel: callers do not retry.
    return true;
}

bool ZrBusinessManager::AddTask(std::function<bool()> fn)
{
    return m_pool.AddTask(std::make_shared<ZrBusinessCommonTask>(std::move(fn)));
}

bool ZrBusinessManager::AddTask(std::function<void()> fn)
{
    return m_pool.AddTask(std::make_shared<ZrBusinessCommonTask>(std::move(fn)));
}

void ZrBusinessManager::PostResponse(std::shared_ptr<DataCoreResponse> response)
{
    const std::atomic<HWND>* slot = m_notifyWindow.load();
    if (!slot)
        return;
    HWND window = slot->load();
    if (!window)
        return;
    auto envelope = std::make_unique<ResponseEnvelope>();
    envelope->response = std::move(response);
    if (::PostMessageW(window, kResponseNotifyMessage, 0, reinterpret_cast<LPARAM>(envelope.get())))
        envelope.release(); // the receiving window frees it
}

void ZrBusinessManager::SetNotifyWindow(const std::atomic<HWND>* window)
{
    m_notifyWindow.store(window);
}

template <typename Fn>
void ZrBusinessManager::ForEachManager(Fn&& fn)
{
    for (auto& [index, manager] : m_managers) {
        if (manager)
            fn(*manager);
    }
}

void ZrBusinessManager::NotifyAll(int32_t code, int32_t param)
{
    if (code == kNotifySectorChanged && m_data)
        m_data->ReloadSector();
    ForEachManager([&](ZrBusinessObject& manager) { manager.OnNotify(code, param); });
}

void ZrBusinessManager::Reload(std::function<void()> done)
{
    AddTask([this, done = std::move(done)]() {
        if (m_data)
            m_data->Load();
        if (m_push)
            m_push->start();
        ForEachManager([](ZrBusinessObject& manager) { manager.OnReload(); });
        if (done)
            done();
    });
}

void ZrBusinessManager::SetStationRunning(bool running)
{
    AddTask([this, running]() {
        // While VelStation runs it keeps the user's push connection itself.
        if (running) {
            if (m_push)
                m_push->stop();
        } else {
            if (m_data)
                m_data->Load();
            if (m_push)
                m_push->start();
        }
        ForEachManager([running](ZrBusinessObject& manager) { manager.OnStationStateChanged(running); });
    });
}

void ZrBusinessManager::BroadcastQuoteChannelOpen()
{
    AddTask([this]() { ForEachManager([](ZrBusinessObject& manager) { manager.OnQuoteChannelOpen(); }); });
}

void ZrBusinessManager::BroadcastPushChannelOpen()
{
    AddTask([this]() { ForEachManager([](ZrBusinessObject& manager) { manager.OnPushChannelOpen(); }); });
}

void ZrBusinessManager::OnTimerThreadStart()
{
    m_timerThread.AddTimer(kHeartbeatTimerId, kHeartbeatPeriodMs);
    m_timerThread.AddTimer(kTickTimerId, kTickPeriodMs);
}

void ZrBusinessManager::OnTimer(int32_t timerId)
{
    if (timerId == kHeartbeatTimerId) {
        AddTask([this]() { Heartbeat(); });
        return;
    }
    if (timerId == kTickTimerId && !m_tickSeen.exchange(true))
        DebugOutput(L"[Business] timer tick running\n");
    m_pool.AddTask(std::make_shared<ZrBusinessTimerTask>(m_managers, timerId));
}

void ZrBusinessManager::Heartbeat()
{
    DebugOutput(L"[Business] heartbeat\n");
    if (m_push)
        m_push->keepAlive();
    if (m_quote)
        m_quote->keepAlive();
    ForEachManager([](ZrBusinessObject& manager) { manager.OnHeartbeat(); });
}

bool BusinessHttpGet(std::shared_ptr<ParamReqInfo> request, bool now)
{
    return ZrBusinessManager::Instance().HttpGet(std::move(request), now);
}

bool BusinessQuoteRequest(std::shared_ptr<ParamReqInfo> request)
{
    return ZrBusinessManager::Instance().QuoteRequest(std::move(request));
}

void BusinessPostResponse(std::shared_ptr<DataCoreResponse> response)
{
    ZrBusinessManager::Instance().PostResponse(std::move(response));
}
