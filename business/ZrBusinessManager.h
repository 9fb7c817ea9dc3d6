#pragma once
#include "platform/Win32.h"

#include "business/DataCoreRequest.h"
#include "business/ParamReqInfo.h"
#include "business/WeThreadPool.h"
#include "business/ZrBusinessObject.h"
#include "business/ZrSingleton.h"
#include "business/ZrTimerThread.h"
#include "net/PushCore.h"
#include "net/QuoteCore.h"
#include "net/WeHttpService.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class UsageAnalytics;
class ZrCommonData;

// Posted to the main dialog with a heap envelope in lParam.
constexpr UINT kResponseNotifyMessage = WM_USER + 9001;

// What PostResponse hands to the UI thread; the receiver frees it.
struct ResponseEnvelope {
    std::shared_ptr<DataCoreResponse> response;
};

// The one object through which the windows reach the business core: it owns
// the worker pool, the request handlers, the six business managers, the data
// store and the services, and runs the timer thread that drives the periodic
// work.
class ZrBusinessManager : public ITimerObserver, public ZrSingleton<ZrBusinessManager> {
public:
    using Handler = std::function<bool(const std::shared_ptr<DataCoreRequest>&)>;
    using ManagerList = std::map<int32_t, std::unique_ptr<ZrBusinessObject>>;
    using HttpRequest = std::shared_ptr<ParamReqInfo>;

    static constexpr int32_t kHeartbeatTimerId = 1;
    static constexpr uint32_t kHeartbeatPeriodMs = 30000;
    static constexpr int32_t kTickTimerId = 2;
    static constexpr uint32_t kTickPeriodMs = 200;

    // Public so that tests can run a manager of their own; the program uses
    // Instance().
    ZrBusinessManager();
    ~ZrBusinessManager() override;

    void Init();
    void Uninit();
    // The installation the store loads from at Init; empty (the default)
    // means the executable's directory.
    void SetBaseDirectory(std::wstring directory) { m_baseDirectory = std::move(directory); }

    void RegisterHandler(int32_t type, Handler handler);
    bool Request(std::shared_ptr<DataCoreRequest> request, bool now);
    bool HttpGet(HttpRequest request, bool now);
    bool HttpPost(HttpRequest request, bool now);
    bool HttpDownload(HttpRequest request, bool now);
    bool QuoteRequest(HttpRequest request);
    bool PushRequest(HttpRequest request);

    // A lambda that returns bool fits both; callers name the std::function.
    bool AddTask(std::function<bool()> fn);
    bool AddTask(std::function<void()> fn);

    void PostResponse(std::shared_ptr<DataCoreResponse> response);
    // The main dialog's handle variable, read at every post; nullptr clears.
    void SetNotifyWindow(const std::atomic<HWND>* window);

    void NotifyAll(int32_t code, int32_t param);
    void Reload(std::function<void()> done);
    void SetStationRunning(bool running);
    // The channels call these when they have connected.
    void BroadcastQuoteChannelOpen();
    void BroadcastPushChannelOpen();

    ZrCommonData* Data() const { return m_data.get(); }
    WeHttpService* HttpService() const { return m_http.get(); }
    PushCore* PushChannel() const { return m_push.get(); }
    QuoteCore* QuoteChannel() const { return m_quote.get(); }
    // Null before Init and after Uninit.
    UsageAnalytics* Analytics() const { return m_analytics.get(); }
    const ManagerList& Managers() const { return m_managers; }
    WeThreadPool& Pool() { return m_pool; }
    ZrTimerThread& TimerThread() { return m_timerThread; }

    // ITimerObserver, on the timer thread.
    void OnTimerThreadStart() override;
    void OnTimer(int32_t timerId) override;

protected:
    // Creates the six managers in their fixed order; runs inside Init.
    virtual void CreateManagers();
    void AddManager(std::unique_ptr<ZrBusinessObject> manager);

private:
    void Heartbeat();
    template <typename Fn>
    void ForEachManager(Fn&& fn);

    ZrTimerThread m_timerThread;
    std::map<int32_t, Handler> m_handlers;
    ManagerList m_managers;
    WeThreadPool m_pool;
    std::wstring m_baseDirectory;
    std::unique_ptr<ZrCommonData> m_data;
    std::unique_ptr<WeHttpService> m_http;
    std::unique_ptr<PushCore> m_push;
    std::unique_ptr<QuoteCore> m_quote;
    std::unique_ptr<UsageAnalytics> m_analytics;
    std::atomic<const std::atomic<HWND>*> m_notifyWindow{nullptr};
    bool m_initialised = false;
    std::atomic<bool> m_tickSeen{false};
};

// The services' view of a store: every value copied out under the store's
// mutex at the time of each request, so that a reload is seen at once.
WeHttpStore BusinessHttpStore(const ZrCommonData& data);

// What the managers call.
bool BusinessHttpGet(std::shared_ptr<ParamReqInfo> request, bool now);
bool BusinessQuoteRequest(std::shared_ptr<ParamReqInfo> request);
void BusinessPostResponse(std::shared_ptr<DataCoreResponse> response);
