#include "platform/Win32.h"

#include "business/ZrBusinessManager.h"
#include "business/ZrBusinessTask.h"
#include "business/ZrCommonData.h"
#include "business/ZrCommonMgr.h"
#include "business/ZrInfomationMgr.h"
#include "business/ZrLiveScheduleMgr.h"
#include "business/ZrQuotePriceMgr.h"
#include "business/ZrStockAbnormalMgr.h"
#include "business/ZrUserInfoMgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records what reaches a manager; shared by several probes so order shows.
struct EventLog {
    std::mutex lock;
    std::vector<std::string> events;
    void Add(std::string event)
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(std::move(event));
    }
    std::vector<std::string> Snapshot()
    {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
};

class ProbeManager : public ZrBusinessObject {
public:
    ProbeManager(ZrBusinessManager& owner, EventLog& log, std::string name, bool takesTimer = false)
        : ZrBusinessObject(owner), m_log(log), m_name(std::move(name)), m_takesTimer(takesTimer)
    {
    }
    void Init() override { m_log.Add(m_name + ":init"); }
    void Uninit() override { m_log.Add(m_name + ":uninit"); }
    void OnHeartbeat() override { m_log.Add(m_name + ":heartbeat"); }
    bool OnTimer(int32_t id) override
    {
        m_log.Add(m_name + ":timer" + std::to_string(id));
        return m_takesTimer;
    }
    void OnReload() override { m_log.Add(m_name + ":reload"); }
    void OnNotify(int32_t code, int32_t param) override
    {
        const uint64_t generation = Owner().Data() ? Owner().Data()->SectorGeneration() : 0;
        m_log.Add(m_name + ":notify" + std::to_string(code) + "/" + std::to_string(param) + "@" +
                  std::to_string(generation));
    }
    void OnStationStateChanged(bool running) override { m_log.Add(m_name + ":station" + std::to_string(running)); }

private:
    EventLog& m_log;
    std::string m_name;
    bool m_takesTimer;
};

// The real six managers, followed by one probe.
class ProbedBusinessManager : public ZrBusinessManager {
public:
    EventLog log;

protected:
    void CreateManagers() override
    {
        ZrBusinessManager::CreateManagers();
        AddManager(std::make_unique<ProbeManager>(*this, log, "probe"));
    }
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound = 5000ms)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

// The log without the 200 ms ticks, which arrive at any time.
std::vector<std::string> Untimed(EventLog& log)
{
    std::vector<std::string> result;
    for (auto& e : log.Snapshot()) {
        if (e.find(":timer") == std::string::npos)
            result.push_back(e);
    }
    return result;
}

bool LogHas(EventLog& log, const std::string& event)
{
    for (const auto& e : log.Snapshot()) {
        if (e == event)
            return true;
    }
    return false;
}

} // namespace

TEST(ZrBusinessManager, CreatesTheSixManagersInTheirFixedOrder)
{
    ProbedBusinessManager manager;
    manager.Init();
    const auto& list = manager.Managers();
    ASSERT_EQ(list.size(), 7u);
    EXPECT_NE(dynamic_cast<ZrQuotePriceMgr*>(list.at(0).get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrStockAbnormalMgr*>(list.at(1).get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrInfomationMgr*>(list.at(2).get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrCommonMgr*>(list.at(3).get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrUserInfoMgr*>(list.at(4).get()), nullptr);
    EXPECT_NE(dynamic_cast<ZrLiveScheduleMgr*>(list.at(5).get()), nullptr);
    EXPECT_EQ(manager.Pool().WorkerCount(), 6u);
    EXPECT_TRUE(manager.TimerThread().IsRunning());
    manager.Uninit();
    EXPECT_TRUE(manager.Managers().empty());
    EXPECT_EQ(manager.Pool().WorkerCount(), 0u);
    EXPECT_EQ(Untimed(manager.log), (std::vector<std::string>{"probe:init", "probe:uninit"}));
}

TEST(ZrBusinessManager, RequestWithoutHandlerIsQueuedButFailsWhenRunNow)
{
    ZrBusinessManager manager;
    manager.Init();
    auto request = std::make_shared<DataCoreRequest>();
    ASSERT_EQ(request->type, kRequestTypeDefault);
    EXPECT_TRUE(manager.Request(request, false));
    EXPECT_FALSE(manager.Request(request, true));
    EXPECT_FALSE(manager.Request(nullptr, true));

    manager.RegisterHandler(70001, nullptr);
    request = std::make_shared<DataCoreRequest>();
    request->type = 70001;
    EXPECT_FALSE(manager.Request(request, true)) << "an empty handler counts as none";
}

TEST(ZrBusinessManager, SecondHandlerReplacesTheFirstAndQueuedRequestsRunOnAWorker)
{
    ZrBusinessManager manager;
    std::atomic<int> first{0};
    std::promise<std::thread::id> secondRanOn;
    manager.RegisterHandler(70000, [&](const auto&) {
        ++first;
        return true;
    });
    manager.RegisterHandler(70000, [&](const auto&) {
        secondRanOn.set_value(std::this_thread::get_id());
        return true;
    });
    manager.Init();

    auto request = std::make_shared<DataCoreRequest>();
    request->type = 70000;
    ASSERT_TRUE(manager.Request(request, false));
    auto ranOn = secondRanOn.get_future();
    ASSERT_EQ(ranOn.wait_for(5s), std::future_status::ready);
    EXPECT_NE(ranOn.get(), std::this_thread::get_id());
    EXPECT_EQ(first, 0);
}

TEST(ZrBusinessManager, TimerTaskVisitsManagersInOrderUntilOneTakesTheTick)
{
    ZrBusinessManager owner;
    EventLog log;
    ZrBusinessTimerTask::ManagerList list;
    list[0] = std::make_unique<ProbeManager>(owner, log, "a");
    list[1] = std::make_unique<ProbeManager>(owner, log, "b", true);
    list[2] = std::make_unique<ProbeManager>(owner, log, "c");
    ZrBusinessTimerTask(list, 2).DoTask();
    EXPECT_EQ(log.Snapshot(), (std::vector<std::string>{"a:timer2", "b:timer2"}));
}

TEST(ZrBusinessManager, HeartbeatAndTickReachTheManagersOnWorkers)
{
    ProbedBusinessManager manager;
    manager.Init();
    // Ticks come from the timer thread's own 200 ms timer.
    EXPECT_TRUE(WaitFor([&] { return LogHas(manager.log, "probe:timer2"); }));
    manager.OnTimer(ZrBusinessManager::kHeartbeatTimerId);
    EXPECT_TRUE(WaitFor([&] { return LogHas(manager.log, "probe:heartbeat"); }));
}

TEST(ZrBusinessManager, SectorChangeRereadsTheSectorBeforeManagersHearOfIt)
{
    ProbedBusinessManager manager;
    manager.Init();
    const uint64_t before = manager.Data()->SectorGeneration();
    manager.NotifyAll(25, 7);
    manager.NotifyAll(26, 8);
    const auto after = std::to_string(before + 1);
    const auto events = Untimed(manager.log);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1], "probe:notify25/7@" + after);
    EXPECT_EQ(events[2], "probe:notify26/8@" + after) << "other codes leave the sector alone";
}

TEST(ZrBusinessManager, ReloadNotifiesManagersThenCallsTheCompletion)
{
    ProbedBusinessManager manager;
    manager.Init();
    std::promise<void> done;
    manager.Reload([&] {
        manager.log.Add("done");
        done.set_value();
    });
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    auto events = Untimed(manager.log);
    auto reload = std::find(events.begin(), events.end(), "probe:reload");
    auto finish = std::find(events.begin(), events.end(), "done");
    ASSERT_NE(reload, events.end());
    EXPECT_LT(reload, finish);
}

TEST(ZrBusinessManager, TicksAfterUninitQueueTasksThatNeverRun)
{
    ProbedBusinessManager manager;
    manager.Init();
    manager.Uninit();
    const size_t seen = manager.log.Snapshot().size();
    for (int i = 0; i < 5; ++i) {
        manager.OnTimer(ZrBusinessManager::kHeartbeatTimerId);
        manager.OnTimer(ZrBusinessManager::kTickTimerId);
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(manager.log.Snapshot().size(), seen);
}

class PostResponseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        response = std::make_shared<DataCoreResponse>();
        response->request = std::make_shared<DataCoreRequest>();
    }
    void TearDown() override
    {
        if (window)
            ::DestroyWindow(window);
    }

    ZrBusinessManager manager;
    HWND window = nullptr;
    std::shared_ptr<DataCoreResponse> response;
};

TEST_F(PostResponseTest, DropsTheResponseWithoutARegisteredWindow)
{
    manager.PostResponse(response);
    EXPECT_EQ(response.use_count(), 1);

    std::atomic<HWND> none{nullptr};
    manager.SetNotifyWindow(&none);
    manager.PostResponse(response);
    EXPECT_EQ(response.use_count(), 1);

    std::atomic<HWND> gone{window};
    manager.SetNotifyWindow(&gone);
    ::DestroyWindow(window);
    window = nullptr;
    manager.PostResponse(response);
    EXPECT_EQ(response.use_count(), 1) << "a failed post frees its envelope";
}

TEST_F(PostResponseTest, PostsAnEnvelopeHoldingTheResponse)
{
    std::atomic<HWND> slot{window};
    manager.SetNotifyWindow(&slot);
    manager.PostResponse(response);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, window, kResponseNotifyMessage, kResponseNotifyMessage, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    std::unique_ptr<ResponseEnvelope> envelope(reinterpret_cast<ResponseEnvelope*>(msg.lParam));
    ASSERT_NE(envelope, nullptr);
    EXPECT_EQ(envelope->response, response);
    envelope.reset();
    EXPECT_EQ(response.use_count(), 1);

    manager.SetNotifyWindow(nullptr);
    manager.PostResponse(response);
    EXPECT_FALSE(::PeekMessageW(&msg, window, kResponseNotifyMessage, kResponseNotifyMessage, PM_REMOVE));
}

TEST(ZrBusinessObject, SubscriptionsMatchOnReceiverIdAndTheFull64BitContext)
{
    ZrBusinessManager owner;
    EventLog log;
    ProbeManager manager(owner, log, "m");
    auto make = [](int32_t receiver, int64_t context, int32_t mode) {
        auto r = std::make_shared<DataCoreRequest>();
        r->type = 60001;
        r->receiverId = receiver;
        r->context = context;
        r->mode = mode;
        return r;
    };
    const int64_t high = (int64_t{1} << 32) | 5;
    auto a = make(1, 5, kModeSubscribe);
    auto b = make(1, high, kModeSubscribe); // same low word, other subscription
    auto c = make(2, 5, kModeSubscribe);
    manager.UpdateSubscription(a);
    manager.UpdateSubscription(b);
    manager.UpdateSubscription(c);
    manager.UpdateSubscription(nullptr);
    EXPECT_EQ(manager.Subscribers(60001), (std::vector<ZrBusinessObject::RequestPtr>{a, b, c}));

    auto a2 = make(1, 5, kModeSubscribe);
    manager.UpdateSubscription(a2);
    EXPECT_EQ(manager.Subscribers(60001), (std::vector<ZrBusinessObject::RequestPtr>{b, c, a2}))
        << "a new subscription replaces the old one and moves to the end";

    manager.UpdateSubscription(make(1, 6, kModeUnsubscribe));
    manager.UpdateSubscription(make(1, 5, kModeSingle + 10));
    EXPECT_EQ(manager.Subscribers(60001), (std::vector<ZrBusinessObject::RequestPtr>{b, c}))
        << "another context leaves it; any non-subscribe mode removes the match";

    manager.UpdateSubscription(make(1, high, kModeUnsubscribe));
    EXPECT_EQ(manager.Subscribers(60001), (std::vector<ZrBusinessObject::RequestPtr>{c}));
    manager.UpdateSubscription(make(9, 9, kModeUnsubscribe));
    EXPECT_TRUE(manager.Subscribers(60002).empty());
}

TEST(ZrBusinessManager, HttpCallsReachTheServiceOnlyWhileInitialised)
{
    ZrBusinessManager manager;
    manager.Init();
    ASSERT_NE(manager.HttpService(), nullptr);
    // No configured address: the call still completes, with an empty body.
    auto request = std::make_shared<ParamReqInfo>();
    request->section = "nowhere";
    request->key = "nothing";
    std::promise<uint32_t> answered;
    request->onResponse = [&](const auto&, const char*, uint32_t length) { answered.set_value(length); };
    EXPECT_TRUE(manager.HttpGet(request, true));
    auto answer = answered.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(answer.get(), 0u);
    EXPECT_FALSE(manager.HttpDownload(std::make_shared<ParamReqInfo>(), true)) << "no target file";

    manager.Uninit();
    EXPECT_EQ(manager.HttpService(), nullptr);
    auto after = std::make_shared<ParamReqInfo>();
    EXPECT_FALSE(manager.HttpPost(after, true));
}
