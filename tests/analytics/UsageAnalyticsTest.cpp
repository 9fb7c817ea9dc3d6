#include "platform/Win32.h"

#include "analytics/UsageAnalytics.h"
#include "business/ParamReqInfo.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "net/WeHttpService.h"
#include "platform/TextConv.h"
#include "platform/TrayIni.h"
#include "tests/support/SandboxPorts.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring Install(const wchar_t* name)
{
    const char* root = std::getenv("VELTRAY_ANALYTICS_INSTALLS");
    return root ? Utf8ToWide(root) + L"\\" + name : std::wstring();
}

std::string Member(const Json::Value& event, const char* name)
{
    return event["properties"][name].asString();
}

// One installation, its store and a reporter whose uploads go to the sandbox
// at once, on the calling thread, so that they have arrived when an event
// function returns.
class UsageAnalyticsTest : public ::testing::Test {
protected:
    void SetUp() override { Open(L"login"); }

    void Open(const wchar_t* install)
    {
        const int port = ReadSandboxPorts()["port"];
        ASSERT_NE(port, 0) << "sandbox not running";
        m_base = Install(install);
        ASSERT_FALSE(m_base.empty()) << "VELTRAY_ANALYTICS_INSTALLS not set";
        m_eventsUrl = "http://127.0.0.1:" + std::to_string(port) + "/stat/events?clear=1";
        ::DeleteFileW((m_base + L"\\Data\\Common\\tray.ini").c_str());

        m_analytics.reset();
        m_http.reset();
        m_data = std::make_unique<ZrCommonData>();
        m_data->SetBaseDirectory(m_base);
        m_data->Load();
        ASSERT_FALSE(m_data->Lookup("stat", "url").empty());
        m_http = std::make_unique<WeHttpService>(BusinessHttpStore(*m_data));
        m_sessions = AnalyticsSessions{};
        UsageAnalytics::Environment environment;
        environment.tickCount = [this] { return m_tick; };
        environment.sessions = &m_sessions;
        m_analytics = std::make_unique<UsageAnalytics>(
            *m_data, [http = m_http.get()](std::shared_ptr<ParamReqInfo> request) { return http->post(request); },
            environment);
        Events(); // forget what earlier tests sent
    }

    // What the sandbox received since the last call, oldest first.
    Json::Value Events()
    {
        auto request = std::make_shared<ParamReqInfo>();
        request->url = m_eventsUrl;
        request->signStyle = 0;
        std::string body;
        request->onResponse = [&body](const std::shared_ptr<ParamReqInfo>&, const char* data, uint32_t length) {
            body.assign(data, length);
        };
        EXPECT_TRUE(m_http->get(request));
        Json::Value events;
        EXPECT_TRUE(Json::Reader().parse(body, events, false)) << body;
        for (const Json::Value& e : events)
            EXPECT_TRUE(e["error"].isNull()) << e["error"].asString();
        return events;
    }

    static std::vector<std::string> Names(const Json::Value& events)
    {
        std::vector<std::string> names;
        for (const Json::Value& e : events)
            names.push_back(e["event"]["event"].asString());
        return names;
    }

    std::wstring m_base;
    std::string m_eventsUrl;
    uint64_t m_tick = 1'000'000;
    AnalyticsSessions m_sessions;
    std::unique_ptr<ZrCommonData> m_data;
    std::unique_ptr<WeHttpService> m_http;
    std::unique_ptr<UsageAnalytics> m_analytics;
};

} // namespace

TEST_F(UsageAnalyticsTest, ASpiritSessionStartsOnceAndAnExitEndsIt)
{
    EXPECT_TRUE(m_analytics->SpiritStart(L"self_starting"));
    EXPECT_FALSE(m_analytics->SpiritStart(L"tray_open"));
    m_tick += 2999;
    EXPECT_TRUE(m_analytics->SpiritExit());
    EXPECT_FALSE(m_analytics->SpiritExit());
    EXPECT_TRUE(m_analytics->SpiritStart(L"tray_open"));

    const Json::Value events = Events();
    ASSERT_EQ(Names(events), (std::vector<std::string>{"desktop_spirit_start", "desktop_spirit_exit",
                                                         "desktop_spirit_start"}));
    const Json::Value& first = events[0]["event"];
    const Json::Value& exit = events[1]["event"];
    const Json::Value& second = events[2]["event"];
    EXPECT_EQ(Member(first, "start_source"), "self_starting");
    EXPECT_EQ(Member(first, "is_first_show"), "true");
    EXPECT_EQ(Member(second, "start_source"), "tray_open");
    EXPECT_EQ(Member(second, "is_first_show"), "false");
    EXPECT_EQ(Member(exit, "exit_reason"), "user_exit");
    EXPECT_EQ(Member(exit, "duration"), "2");

    const std::string id = Member(first, "session_id");
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(Member(exit, "session_id"), id);
    EXPECT_NE(Member(second, "session_id"), id);
    EXPECT_EQ(TrayIni(m_base).ReadInt(L"firstshow", 0), 1);
}

TEST_F(UsageAnalyticsTest, SpiritEventsNeedTheSpiritSessionExceptTrayClicks)
{
    EXPECT_FALSE(m_analytics->ContextMenuClick(L"close_spirit", L""));
    EXPECT_FALSE(m_analytics->MessageExposure(L"live", L"a b"));
    EXPECT_FALSE(m_analytics->MessageClick(L"index", L"x", L"gw://x"));
    EXPECT_TRUE(m_analytics->TrayMenuClick(L"show_spirit", L""));
    ASSERT_TRUE(m_analytics->SpiritStart(L"pc_client_open"));
    EXPECT_TRUE(m_analytics->TrayMenuClick(L"open_client", L"gw://funccall?funcname=OnGoPage;param0=yd;"));
    EXPECT_TRUE(m_analytics->ContextMenuClick(L"open_pc_client", L"gw://y"));
    EXPECT_TRUE(m_analytics->MessageExposure(L"case_stock", L"\x6848\x4F8B\x80A1 \x4E70\x5165")); // 案例股 买入
    EXPECT_TRUE(m_analytics->MessageClick(L"index", L"sh 3000.00", L"gw://z"));

    const Json::Value events = Events();
    ASSERT_EQ(Names(events),
              (std::vector<std::string>{"desktop_spirit_tray_menu_click", "desktop_spirit_start",
                                        "desktop_spirit_tray_menu_click", "desktop_spirit_context_menu_click",
                                        "desktop_spirit_message_exposure", "desktop_spirit_message_click"}));
    // Without a spirit session the tray click carries the process's fallback id.
    EXPECT_EQ(Member(events[0]["event"], "session_id"), g_processSessionId);
    EXPECT_EQ(Member(events[0]["event"], "native_command"), "");
    const std::string spirit = Member(events[1]["event"], "session_id");
    EXPECT_NE(spirit, g_processSessionId);
    for (Json::ArrayIndex i = 2; i < events.size(); ++i)
        EXPECT_EQ(Member(events[i]["event"], "session_id"), spirit) << i;
    EXPECT_EQ(Member(events[2]["event"], "native_command"), "gw://funccall?funcname=OnGoPage;param0=yd;");
    EXPECT_EQ(Member(events[4]["event"], "content"), "\xE6\xA1\x88\xE4\xBE\x8B\xE8\x82\xA1 \xE4\xB9\xB0\xE5\x85\xA5");
    EXPECT_EQ(Member(events[5]["event"], "content_type"), "index");
}

TEST_F(UsageAnalyticsTest, PanelViewsAreReportedWhenTheyChangeWithinOnePanelSession)
{
    EXPECT_FALSE(m_analytics->PanelView(L"stock_change", L"content"));
    EXPECT_FALSE(m_analytics->PanelClick(L"tab", L""));
    EXPECT_FALSE(m_analytics->PanelClose(L""));

    EXPECT_TRUE(m_analytics->PanelOpen(L"hover"));
    EXPECT_TRUE(m_analytics->PanelView(L"stock_change", L"content"));
    EXPECT_FALSE(m_analytics->PanelView(L"stock_change", L"content"));
    EXPECT_TRUE(m_analytics->PanelView(L"stock_change", L"empty"));
    EXPECT_TRUE(m_analytics->PanelView(L"stock_change", L"content"));
    EXPECT_TRUE(m_analytics->PanelContentClick(L"live", L"room", L"http://live"));
    m_tick += 1234;
    EXPECT_TRUE(m_analytics->PanelClose(L""));
    EXPECT_FALSE(m_analytics->PanelView(L"live", L"content"));
    EXPECT_TRUE(m_analytics->PanelOpen(L"hover"));
    EXPECT_TRUE(m_analytics->PanelView(L"stock_change", L"content"));
    EXPECT_TRUE(m_analytics->PanelClose(L"mouse_leave"));

    const Json::Value events = Events();
    ASSERT_EQ(Names(events),
              (std::vector<std::string>{"desktop_spirit_panel_open", "desktop_spirit_panel_view",
                                        "desktop_spirit_panel_view", "desktop_spirit_panel_view",
                                        "desktop_spirit_panel_content_click", "desktop_spirit_panel_close",
                                        "desktop_spirit_panel_open", "desktop_spirit_panel_view",
                                        "desktop_spirit_panel_close"}));
    EXPECT_EQ(Member(events[2]["event"], "page_state"), "empty");
    EXPECT_EQ(Member(events[5]["event"], "close_source"), "close_button");
    EXPECT_EQ(Member(events[5]["event"], "duration_ms"), "1234");
    EXPECT_EQ(Member(events[8]["event"], "close_source"), "mouse_leave");
    const std::string first = Member(events[0]["event"], "session_id");
    EXPECT_EQ(Member(events[5]["event"], "session_id"), first);
    EXPECT_NE(Member(events[6]["event"], "session_id"), first);
}

TEST_F(UsageAnalyticsTest, TheRecordCarriesStoreAndDeviceValuesInByteOrder)
{
    ASSERT_TRUE(m_analytics->report("custom_event", {{"uid", "replaced"}, {"zeta", "1"}, {"\xE4\xB8\xAD", "x"},
                                                     {"", "dropped"}}));
    const Json::Value events = Events();
    ASSERT_EQ(events.size(), 1u);
    const Json::Value& e = events[0];
    const Json::Value& record = e["event"];

    EXPECT_EQ(record["event"].asString(), "custom_event");
    EXPECT_EQ(record["type"].asString(), "track");
    EXPECT_EQ(record["distinct_id"].asString(), "distinct-7");
    EXPECT_EQ(record["project"].asString(), "velstation");
    EXPECT_TRUE(record["time_free"].asBool());
    EXPECT_NEAR(record["time"].asDouble(), double(std::time(nullptr)), 60.0);
    const Json::Value& p = record["properties"];
    EXPECT_EQ(p["uid"].asString(), "replaced");
    EXPECT_EQ(p["user_type"].asString(), "2");
    EXPECT_EQ(p["org"].asString(), "\xE6\xB5\x8B\xE8\xAF\x95\xE6\x9C\xBA\xE6\x9E\x84"); // 测试机构
    EXPECT_EQ(p["app"].asString(), p["org"].asString());
    EXPECT_EQ(p["$app_version"].asString(), "3.4.5");
    EXPECT_EQ(p["appverfull"].asString(), "3.4.5");
    EXPECT_EQ(p["projectid"].asString(), "veltray-test");
    EXPECT_EQ(p["sid"].asString(), "sid-7");
    EXPECT_EQ(p["reffer"].asString(), "ref-7");
    EXPECT_EQ(p["bid"].asString(), "b7");
    EXPECT_EQ(p["$os"].asString(), "Windows");
    EXPECT_TRUE(p["$is_login_id"].asBool());
    EXPECT_FALSE(p["$wifi"].asBool());
    EXPECT_TRUE(p["$screen_width"].isIntegral());
    EXPECT_EQ(p["$model"].asString(), p["$os_version"].asString());
    EXPECT_EQ(p["$lib_version"].asString(), p["$os_version"].asString());
    EXPECT_FALSE(p["$lib"].asString().empty());
    EXPECT_EQ(p["harddisksn"].asString(), m_data->DeviceId());
    EXPECT_FALSE(p.isMember("channel_reffer"));
    EXPECT_FALSE(p.isMember(""));
    EXPECT_EQ(p["\xE4\xB8\xAD"].asString(), "x");

    // As written on the wire: ascending byte order, "$" names first and the
    // multi-byte name last; one line feed at the end.
    for (const char* list : {"keys", "property_keys"}) {
        std::vector<std::string> names;
        for (const Json::Value& name : e[list])
            names.push_back(name.asString());
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << list;
        EXPECT_GT(names.size(), 5u) << list;
    }
    EXPECT_EQ(e["property_keys"][0].asString(), "$app_version");
    EXPECT_EQ(e["property_keys"][e["property_keys"].size() - 1].asString(), "\xE4\xB8\xAD");
    const std::string text = e["json"].asString();
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_EQ(text.find("\": "), std::string::npos);
    EXPECT_EQ(text.find(", \""), std::string::npos);

    // Only unreserved characters and %XX after "data=".
    const std::string body = e["body"].asString();
    ASSERT_EQ(body.rfind("data=", 0), 0u);
    EXPECT_EQ(body.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~%", 5),
              std::string::npos);
    for (const auto& h : e["headers"]) {
        if (h[0].asString() == "Content-Type") {
            EXPECT_EQ(h[1].asString(), "application/json");
        }
    }
}

TEST(UsageAnalyticsBody, Base64SignsAreAlwaysPercentEncoded)
{
    // "\xFB\xFF" is "+/8=" in base64.
    EXPECT_EQ(UsageAnalytics::EncodeBody("\xFB\xFF"), "data=%2B%2F8%3D");
    EXPECT_EQ(UsageAnalytics::EncodeBody("{}\n"), "data=e30K");
    EXPECT_EQ(UsageAnalytics::EncodeBody(""), "data=");
}

TEST_F(UsageAnalyticsTest, AGuestIsUserTypeOneWithAFreshDistinctIdPerEvent)
{
    // The channel file is read when the reporter is made.
    const std::wstring channel = Install(L"guest") + L"\\Data\\Common\\channel_reffer.ini";
    {
        // UTF-16 with a byte-order mark, so that the Chinese text survives any code page.
        const std::wstring text = L"\xFEFF[system]\r\nchannel_reffer=\x6E20\x9053-9\r\n"; // 渠道-9
        std::ofstream out{std::filesystem::path(channel), std::ios::binary};
        out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
        ASSERT_TRUE(out.good());
    }
    ASSERT_NO_FATAL_FAILURE(Open(L"guest"));

    ASSERT_TRUE(m_analytics->TrayMenuClick(L"exit", L""));
    ASSERT_TRUE(m_analytics->TrayMenuClick(L"exit", L""));
    const Json::Value events = Events();
    ASSERT_EQ(events.size(), 2u);
    const Json::Value& p = events[0]["event"]["properties"];
    EXPECT_EQ(p["user_type"].asString(), "1");
    EXPECT_EQ(p["uid"].asString(), "");
    EXPECT_EQ(p["channel_reffer"].asString(), "\xE6\xB8\xA0\xE9\x81\x93-9");
    const std::string id0 = events[0]["event"]["distinct_id"].asString();
    const std::string id1 = events[1]["event"]["distinct_id"].asString();
    EXPECT_EQ(id0.size(), 32u);
    EXPECT_EQ(id0.find_first_not_of("0123456789abcdef"), std::string::npos) << id0;
    EXPECT_NE(id0, id1);
    ::DeleteFileW(channel.c_str());
}

TEST(UsageAnalytics, NothingIsSentWithoutAnEndpointOrAName)
{
    ZrCommonData empty; // never loaded: no configuration
    int posts = 0;
    AnalyticsSessions sessions;
    UsageAnalytics::Environment environment;
    environment.sessions = &sessions;
    UsageAnalytics analytics(empty, [&posts](std::shared_ptr<ParamReqInfo>) { return ++posts, true; }, environment);
    EXPECT_FALSE(analytics.report("desktop_spirit_start", {}));
    EXPECT_FALSE(analytics.report("", {}));
    EXPECT_EQ(posts, 0);
}
