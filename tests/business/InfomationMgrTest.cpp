#include "tests/business/InstalledManager.h"

#include "business/ZrInfomationMgr.h"
#include "tests/support/SandboxHttp.h"

#include <ctime>
#include <thread>

namespace {

using namespace std::chrono_literals;

const char kUser[] = "sandboxuser";
const char kChannelTopic[] = "qnlx_stock_case_topic";

// A case push as the vendor's service sends it, in the "message" member.
Json::Value CaseMessage(const std::string& course, const std::string& title)
{
    Json::Value m;
    m["caseStock"] = 1;
    m["courseId"] = course;
    m["title"] = title;
    m["showTitle"] = "显示标题";
    m["stockInfo"] = "贵州茅台(600519)";
    m["brief"] = "一季度营收稳健增长";
    m["showContent"] = "营收增长";
    m["tag"] = "";
    m["auditTime"] = Json::Int64(0);
    m["clickUrl"] = "https://case.example.invalid/detail?course=" + course;
    m["stock"]["market"] = "SH";
    m["stock"]["code"] = "600519";
    return m;
}

std::wstring LocalHourMinute(int64_t ms)
{
    const __time64_t seconds = ms / 1000;
    tm local{};
    _localtime64_s(&local, &seconds);
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d:%02d", local.tm_hour, local.tm_min);
    return text;
}

// The local time when the last push was injected.
std::wstring g_pushedAt;

std::wstring NowHourMinute()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d:%02d", now.wHour, now.wMinute);
    return text;
}

class InfomationMgrTest : public InstalledManagerTest {
protected:
    void SetUp() override
    {
        InstalledManagerTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        SandboxGet("/push/control?action=interval&seconds=0");
    }
    void TearDown() override
    {
        InstalledManagerTest::TearDown();
        SandboxGet("/push/control?action=interval&seconds=5");
    }

    std::shared_ptr<InfomationRequest> Subscribe(int64_t context, int32_t mode = kModeSubscribe)
    {
        auto request = std::make_shared<InfomationRequest>();
        request->receiverId = 3;
        request->context = context;
        request->mode = mode;
        request->topic = ZrInfomationMgr::kCaseTopic;
        EXPECT_TRUE(manager->Request(request, true));
        return request;
    }

    Json::Value OpenConnection()
    {
        const Json::Value state = SandboxGetJson("/push/state");
        const Json::Value connections = state["connections"];
        for (const Json::Value& c : connections)
            if (c["open"].asBool() && c["username"].asString() == kUser)
                return c;
        return Json::Value();
    }
    bool ChannelSubscribed()
    {
        return WaitFor([&] {
            const Json::Value c = OpenConnection();
            for (const Json::Value& t : c["topics"])
                if (t.asString() == kChannelTopic)
                    return true;
            return false;
        });
    }
    size_t OpenConnections()
    {
        const Json::Value state = SandboxGetJson("/push/state");
        const Json::Value connections = state["connections"];
        size_t n = 0;
        for (const Json::Value& c : connections)
            n += c["open"].asBool() && c["username"].asString() == kUser;
        return n;
    }

    // message: a JSON value sent as text, or as it is with asIs.
    void Push(const Json::Value& message, const std::string& sendType = "wc_stock_case_push", bool asIs = false)
    {
        g_pushedAt = NowHourMinute();
        Json::Value order;
        order["topic"] = kChannelTopic;
        order["message"] = message;
        order["sendType"] = sendType;
        order["username"] = kUser;
        order["asIs"] = asIs;
        SandboxPost("/push/inject", Json::FastWriter().write(order));
    }

    // The next case responses, skipping whatever else arrives.
    std::vector<std::shared_ptr<InfomationResponse>> CaseResponses(size_t count, std::chrono::milliseconds bound = 10s)
    {
        std::vector<std::shared_ptr<InfomationResponse>> found;
        const auto end = std::chrono::steady_clock::now() + bound;
        while (found.size() < count && std::chrono::steady_clock::now() < end) {
            for (const auto& r : Responses(1, 200ms))
                if (auto info = std::dynamic_pointer_cast<InfomationResponse>(r))
                    found.push_back(info);
        }
        return found;
    }
};

struct FillCase {
    const char* name;
    std::function<void(Json::Value&)> change;
    std::function<void(const CaseItem&)> check;
};

} // namespace

TEST_F(InfomationMgrTest, PushedCasesAreFilledByTheScript)
{
    Subscribe(7);
    ASSERT_TRUE(ChannelSubscribed());
    const int64_t audit = 1700000000000LL + 3 * 3600 * 1000 + 25 * 60 * 1000;

    const std::vector<FillCase> cases = {
        {"everything",
         [&](Json::Value& m) { m["auditTime"] = Json::Int64(audit); },
         [&](const CaseItem& item) {
             EXPECT_EQ(item.kind, 3);
             EXPECT_EQ(item.headline, L"贵州茅台(600519)");
             EXPECT_EQ(item.title, L"【案例跟踪】贵州茅台：量价齐升");
             EXPECT_EQ(item.tag, L"案例跟踪");
             EXPECT_EQ(item.brief, L"一季度营收稳健增长");
             EXPECT_EQ(item.timeText, LocalHourMinute(audit));
             EXPECT_EQ(item.clickUrl, "https://case.example.invalid/detail?course=C1");
             EXPECT_EQ(item.stock.market, 1);
             EXPECT_STREQ(item.stock.code, "600519");
             EXPECT_EQ(item.key.rfind("C1|", 0), 0u) << item.key;
             EXPECT_EQ(item.key.size(), 3u + 15u) << "one byte per code unit of the title";
         }},
        {"headline falls back to the shown title",
         [](Json::Value& m) { m["stockInfo"] = ""; },
         [](const CaseItem& item) { EXPECT_EQ(item.headline, L"显示标题"); }},
        {"then to the title",
         [](Json::Value& m) {
             m["stockInfo"] = "";
             m["showTitle"] = Json::Value();
         },
         [](const CaseItem& item) { EXPECT_EQ(item.headline, L"【案例跟踪】贵州茅台：量价齐升"); }},
        {"brief falls back to the shown content",
         [](Json::Value& m) { m["brief"] = ""; },
         [](const CaseItem& item) { EXPECT_EQ(item.brief, L"营收增长"); }},
        {"a tag of its own wins",
         [](Json::Value& m) { m["tag"] = "价值精选"; },
         [](const CaseItem& item) { EXPECT_EQ(item.tag, L"价值精选"); }},
        {"no closing bracket, no tag",
         [](Json::Value& m) { m["title"] = "【案例跟踪贵州茅台"; },
         [](const CaseItem& item) { EXPECT_EQ(item.tag, L""); }},
        {"empty brackets, no tag",
         [](Json::Value& m) { m["title"] = "【】贵州茅台"; },
         [](const CaseItem& item) { EXPECT_EQ(item.tag, L""); }},
        {"an audit time with a colon leaves the arrival time",
         [](Json::Value& m) { m["auditTime"] = "12:30"; },
         [](const CaseItem& item) { EXPECT_TRUE(item.timeText == g_pushedAt || item.timeText == NowHourMinute()); }},
        {"zero leaves the arrival time",
         [](Json::Value& m) { m["auditTime"] = 0; },
         [](const CaseItem& item) { EXPECT_TRUE(item.timeText == g_pushedAt || item.timeText == NowHourMinute()); }},
        {"an audit time beyond any calendar leaves the arrival time",
         [](Json::Value& m) { m["auditTime"] = "99999999999999999999999"; },
         [](const CaseItem& item) { EXPECT_TRUE(item.timeText == g_pushedAt || item.timeText == NowHourMinute()); }},
        {"an unknown market is 255",
         [](Json::Value& m) {
             m["stock"]["market"] = "XX";
             m["stock"]["code"] = "0123456789012345678901234567890123456789";
         },
         [](const CaseItem& item) {
             EXPECT_EQ(item.stock.market, 255);
             EXPECT_EQ(std::string(item.stock.code), "0123456789012345678901234567890") << "cut, NUL-terminated";
         }},
        {"the key stops at 200 bytes",
         [](Json::Value& m) {
             std::string longTitle;
             for (int i = 0; i < 300; ++i)
                 longTitle += "长";
             m["title"] = longTitle;
         },
         [](const CaseItem& item) { EXPECT_EQ(item.key.size(), 200u); }},
        {"not a case for the script: no headline",
         [](Json::Value& m) { m["caseStock"] = 0; },
         [](const CaseItem& item) {
             EXPECT_TRUE(item.headline.empty());
             EXPECT_EQ(item.kind, 3) << "the push's own send type";
         }},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.name);
        Json::Value message = CaseMessage("C1", "【案例跟踪】贵州茅台：量价齐升");
        c.change(message);
        Push(message);
        const auto got = CaseResponses(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_FALSE(got[0]->replay);
        ASSERT_EQ(got[0]->items.size(), 1u);
        c.check(got[0]->items[0]);
    }
}

TEST_F(InfomationMgrTest, MessagesTheScriptNeverSees)
{
    Subscribe(7);
    ASSERT_TRUE(ChannelSubscribed());
    struct Raw {
        const char* name;
        Json::Value message;
        bool asIs;
        std::string sendType;
        size_t items;
        int32_t kind;
    };
    Json::Value object = CaseMessage("C2", "【案例跟踪】标题");
    const std::vector<Raw> raws = {
        {"text that is no JSON", Json::Value("not json"), true, "wc_stock_case_push", 0, 0},
        {"a JSON array as text", Json::Value("[1,2]"), true, "wc_stock_case_push", 0, 0},
        {"a null message", Json::Value(), true, "wc_stock_case_push", 0, 0},
        {"an object, not text: no script run", object, true, "wc_stock_case_push", 1, 3},
        {"another send type", object, false, "other_push", 1, 3},
    };
    for (const Raw& raw : raws) {
        SCOPED_TRACE(raw.name);
        Push(raw.message, raw.sendType, raw.asIs);
        const auto got = CaseResponses(1);
        ASSERT_EQ(got.size(), 1u) << "every push is answered";
        ASSERT_EQ(got[0]->items.size(), raw.items);
        if (raw.items && raw.asIs) {
            EXPECT_TRUE(got[0]->items[0].headline.empty());
            EXPECT_EQ(got[0]->items[0].timeText.size(), 5u);
        }
    }
    EXPECT_TRUE(Manager<ZrInfomationMgr>()->RecentCases().size() == 1u) << "only the scripted case is kept";
}

TEST(InfomationFill, WithoutAScriptTheItemHasNoHeadline)
{
    Json::Value root;
    root["sendType"] = "other";
    root["message"] = Json::FastWriter().write(CaseMessage("C3", "【案例跟踪】标题"));
    CaseItem item;
    bool scripted = true;
    ASSERT_TRUE(ZrInfomationMgr::FillItem(root, "", nullptr, item, scripted));
    EXPECT_FALSE(scripted);
    EXPECT_EQ(item.kind, 0);
    EXPECT_TRUE(item.headline.empty());
    EXPECT_EQ(item.timeText.size(), 5u);

    // A failing script is dropped the same way.
    ASSERT_TRUE(ZrInfomationMgr::FillItem(root, "error('boom')", nullptr, item, scripted));
    EXPECT_FALSE(scripted);
    EXPECT_FALSE(ZrInfomationMgr::FillItem(Json::Value(), "", nullptr, item, scripted)) << "no root, no item";
}

TEST_F(InfomationMgrTest, RecentFiveAreReplayedToNewSubscribers)
{
    Subscribe(7);
    ASSERT_TRUE(ChannelSubscribed());
    const std::vector<std::pair<std::string, std::string>> pushes = {
        {"C1", "【案例跟踪】一"}, {"C1", "【案例跟踪】一"}, {"C2", "【案例跟踪】二"}, {"C3", "【案例跟踪】三"},
        {"C4", "【案例跟踪】四"}, {"C5", "【案例跟踪】五"}, {"C6", "【案例跟踪】六"},
    };
    for (const auto& [course, title] : pushes)
        Push(CaseMessage(course, title));
    ASSERT_EQ(CaseResponses(pushes.size()).size(), pushes.size()) << "the repeated case is posted both times";

    const auto recent = Manager<ZrInfomationMgr>()->RecentCases();
    ASSERT_EQ(recent.size(), 5u);
    EXPECT_EQ(recent.front().title, L"【案例跟踪】二") << "the oldest went";
    EXPECT_EQ(recent.back().title, L"【案例跟踪】六");

    Subscribe(8, kModeUnsubscribe);
    EXPECT_TRUE(CaseResponses(1, 1s).empty()) << "an unsubscription gets no replay";

    Subscribe(9);
    const auto replay = CaseResponses(1);
    ASSERT_EQ(replay.size(), 1u);
    EXPECT_TRUE(replay[0]->replay);
    EXPECT_EQ(replay[0]->request->context, 9);
    ASSERT_EQ(replay[0]->items.size(), 5u);
    EXPECT_EQ(replay[0]->items[4].title, L"【案例跟踪】六");

    // Both subscribers now receive every case.
    Push(CaseMessage("C7", "【案例跟踪】七"));
    const auto both = CaseResponses(2);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NE(both[0]->request->context, both[1]->request->context);
}

TEST_F(InfomationMgrTest, StationRunningStopsThePushChannelAndItsEndRenewsSubscriptions)
{
    Subscribe(7);
    ASSERT_TRUE(ChannelSubscribed());
    manager->SetStationRunning(true);
    ASSERT_TRUE(WaitFor([&] { return OpenConnections() == 0; })) << "VelStation keeps the push connection";
    std::this_thread::sleep_for(std::chrono::milliseconds(PushCore::kReconnectWaitMs) + 1s);
    EXPECT_EQ(OpenConnections(), 0u) << "no reconnect while VelStation runs";

    manager->SetStationRunning(false);
    ASSERT_TRUE(ChannelSubscribed()) << "the renewed subscription reaches the new connection";
    Push(CaseMessage("C9", "【案例跟踪】回来了"));
    const auto got = CaseResponses(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]->request->context, 7);
    EXPECT_TRUE(CaseResponses(1, 1s).empty()) << "the renewal replaced the subscriber, not added one";
}

TEST_F(InfomationMgrTest, ReloadRestartsTheChannelAndRenewsSubscriptions)
{
    Subscribe(7);
    ASSERT_TRUE(ChannelSubscribed());
    const Json::Value before = OpenConnection();
    bool reloaded = false;
    manager->Reload([&reloaded] { reloaded = true; });
    ASSERT_TRUE(WaitFor([&] {
        const Json::Value now = OpenConnection();
        return now.isObject() && now["id"] != before["id"];
    })) << "a reload starts the channel again";
    ASSERT_TRUE(WaitFor([&] { return reloaded; }));
    ASSERT_TRUE(ChannelSubscribed()) << "start forgot the topic; the manager subscribes again";
    Push(CaseMessage("C8", "【案例跟踪】重载之后"));
    ASSERT_EQ(CaseResponses(1).size(), 1u);
}
