#include "platform/Win32.h"

#include "business/ZrLiveScheduleMgr.h"
#include "platform/TextConv.h"
#include "tests/business/InstalledManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

class LiveScheduleTest : public InstalledManagerTest {
protected:
    // One request through the manager; its posted response.
    std::shared_ptr<LiveScheduleResponse> Ask(ImmediateProbe* probe = nullptr)
    {
        auto request = std::make_shared<LiveScheduleRequest>();
        request->context = 1;
        if (probe)
            probe->Attach(*request);
        EXPECT_TRUE(manager->Request(request, false));
        auto got = Responses(1);
        if (got.size() != 1)
            return nullptr;
        auto response = std::dynamic_pointer_cast<LiveScheduleResponse>(got[0]);
        EXPECT_NE(response, nullptr);
        if (response) {
            EXPECT_EQ(response->request, request);
        }
        return response;
    }

    // The sandbox answers by the token the request is signed with.
    void UseToken(const std::string& token) { Store().UpdateUser(Store().UserName(), Store().Nickname(), token); }

    std::string PageUrl(const LiveProgram& p) const
    {
        const std::string room = Url("/page/live?room=") + p.roomNo;
        return p.periodNo.empty() ? room : room + "&period=" + p.periodNo;
    }
};

std::wstring ExpectedStatus(const LiveProgram& p)
{
    switch (p.periodStatus) {
    case 0:
        return p.startTime + L" 开播";
    case 1:
        return L"直播中";
    case 2:
    case 3:
        return L"已结束";
    default:
        return p.startTime;
    }
}

} // namespace

TEST_F(LiveScheduleTest, FetchesSevenDaysSortedAcrossSessionsWithStatusTextsAndPageAddresses)
{
    ImmediateProbe probe;
    auto response = Ask(&probe);
    ASSERT_NE(response, nullptr);
    EXPECT_TRUE(probe.answers.empty()) << "nothing cached before the first answer";
    ASSERT_TRUE(response->ok);
    ASSERT_NE(response->data, nullptr);
    const auto& days = response->data->days;
    ASSERT_EQ(days.size(), 7u);
    EXPECT_EQ(std::count_if(days.begin(), days.end(), [](const LiveDay& d) { return d.today; }), 1);
    EXPECT_TRUE(days[3].today);
    EXPECT_FALSE(days[3].currentSession.empty());

    std::set<int32_t> statuses;
    bool mixedDay = false;
    for (const LiveDay& day : days) {
        SCOPED_TRACE(day.date);
        EXPECT_EQ(day.date.size(), 10u);
        EXPECT_GE(day.weekday, 1);
        EXPECT_EQ(static_cast<size_t>(day.programCount), day.programs.size());
        EXPECT_TRUE(std::is_sorted(day.programs.begin(), day.programs.end(),
                                   [](const LiveProgram& a, const LiveProgram& b) { return a.startTime < b.startTime; }));
        std::set<uint8_t> kinds;
        for (const LiveProgram& p : day.programs) {
            statuses.insert(p.periodStatus);
            kinds.insert(p.sessionKind);
            EXPECT_EQ(p.statusText, ExpectedStatus(p)) << WideToUtf8(p.startTime);
            EXPECT_EQ(p.jumpUrl, PageUrl(p));
            EXPECT_EQ(p.today, day.today);
            EXPECT_FALSE(p.authorName.empty());
            EXPECT_FALSE(p.programIntro.empty());
            if (p.periodStatus == 1) {
                EXPECT_EQ(p.sessionKind, 2);
            }
        }
        mixedDay |= kinds.count(0) && kinds.count(1);
    }
    EXPECT_TRUE(mixedDay) << "the programs of both sessions share one list";
    EXPECT_EQ(statuses, (std::set<int32_t>{0, 1, 2, 3, 4}));

    const auto records = Records("/live/schedule");
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back()["query"].asString(), "");
}

TEST_F(LiveScheduleTest, SecondRequestGetsTheCacheAtOnceAndAFreshCopyLater)
{
    auto first = Ask();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->ok);

    ImmediateProbe probe;
    auto second = Ask(&probe);
    ASSERT_EQ(probe.answers.size(), 1u);
    auto cached = std::dynamic_pointer_cast<LiveScheduleResponse>(probe.answers[0]);
    ASSERT_NE(cached, nullptr);
    EXPECT_TRUE(cached->ok);
    EXPECT_EQ(cached->data, first->data) << "the cached schedule itself, untouched";
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->ok);
    EXPECT_NE(second->data, first->data) << "a fresh copy replaces the cache as a whole";
    EXPECT_EQ(first->data->days.size(), 7u);
}

TEST_F(LiveScheduleTest, BadAnswersGiveNoScheduleAndLeaveTheCache)
{
    auto good = Ask();
    ASSERT_NE(good, nullptr);
    ASSERT_TRUE(good->ok);

    const struct {
        const char* token;
        bool ok;
        std::wstring message;
    } cases[] = {
        {"live-code500", false, L"服务繁忙，请稍后再试"},
        {"live-nodays", false, L""},
        {"live-emptydays", false, L""},
        {"live-malformed", false, L""},
        {"live-array", false, L""},
        {"live-code1", true, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        UseToken(c.token);
        ImmediateProbe probe;
        auto response = Ask(&probe);
        ASSERT_NE(response, nullptr);
        EXPECT_EQ(response->ok, c.ok);
        EXPECT_EQ(response->message, c.message);
        EXPECT_EQ(response->data != nullptr, c.ok);
        ASSERT_EQ(probe.answers.size(), 1u);
        auto cached = std::dynamic_pointer_cast<LiveScheduleResponse>(probe.answers[0]);
        ASSERT_NE(cached, nullptr);
        EXPECT_EQ(cached->data, good->data) << "only a good answer replaces the cache";
    }
}

TEST_F(LiveScheduleTest, ReadsProgramsLeniently)
{
    // Status texts of unknown states, equal start times, members of the wrong
    // type, elements that are not objects.
    const std::string body = R"({"code":"7","data":{"days":[
        3,
        {"date":"2024-05-06","weekday":"1","today":true,"sessions":[
            {"sessionType":"MID_MARKET","programs":[
                {"startTime":"10:00","periodStatus":7,"roomNo":"r1","periodNo":"p1"},
                {"startTime":"09:00","periodStatus":-1,"roomNo":"r2"},
                "not a program"]},
            {"sessionType":"NIGHT","programs":[
                {"startTime":"09:30","periodStatus":"1","roomNo":"r3","hotFlag":1,"hot":12.9},
                {"startTime":"09:30","periodStatus":1,"roomNo":"r4"}]},
            {"sessionType":"PRE_MARKET","programs":{"startTime":"08:00"}}]},
        {"date":"2024-05-07","sessions":"none"}]}})";
    LiveScheduleResponse response;
    ZrLiveScheduleMgr::ReadAnswer(body, Store(), response);
    ASSERT_TRUE(response.ok) << "a code given as text reads as 0, an accepted code";
    ASSERT_EQ(response.data->days.size(), 2u);
    const LiveDay& day = response.data->days[0];
    EXPECT_EQ(day.weekday, 0);
    EXPECT_TRUE(day.today);
    EXPECT_TRUE(response.data->days[1].programs.empty());
    ASSERT_EQ(day.programs.size(), 4u);

    // Equal start times keep no defined order: r3 and r4 are found by room.
    auto byRoom = [&](const std::string& room) -> const LiveProgram& {
        for (const LiveProgram& p : day.programs)
            if (p.roomNo == room)
                return p;
        return day.programs.front();
    };
    const struct {
        const char* room;
        const wchar_t* start;
        const wchar_t* status;
        uint8_t kind;
        std::string jumpUrl;
    } expected[] = {
        {"r2", L"09:00", L"09:00", 1, Url("/page/live?room=r2")},
        {"r3", L"09:30", L"09:30 开播", 0, Url("/page/live?room=r3")},
        {"r4", L"09:30", L"直播中", 2, Url("/page/live?room=r4")},
        {"r1", L"10:00", L"10:00", 1, Url("/page/live?room=r1&period=p1")},
    };
    EXPECT_EQ(day.programs[0].roomNo, "r2");
    EXPECT_EQ(day.programs[3].roomNo, "r1");
    for (const auto& e : expected) {
        SCOPED_TRACE(e.room);
        const LiveProgram& p = byRoom(e.room);
        EXPECT_EQ(p.roomNo, e.room);
        EXPECT_EQ(p.startTime, e.start);
        EXPECT_EQ(p.statusText, e.status);
        EXPECT_EQ(p.sessionKind, e.kind);
        EXPECT_EQ(p.jumpUrl, e.jumpUrl);
        EXPECT_TRUE(p.today);
    }
    EXPECT_FALSE(byRoom("r3").hotFlag);
    EXPECT_EQ(byRoom("r3").hot, 12);

    const std::pair<std::string, std::wstring> refused[] = {
        {"", L""},
        {"{\"code\":404,\"message\":\"没有节目\"}", L"没有节目"},
        {"{\"code\":404,\"message\":5}", L""},
        {"{\"code\":200,\"data\":[]}", L""},
        {"{\"code\":200,\"data\":{\"days\":{}}}", L""},
        {"{\"code\":200,\"data\":{\"days\":[1,2]}}", L""},
        {"null", L""},
    };
    for (const auto& [text, message] : refused) {
        SCOPED_TRACE(text);
        LiveScheduleResponse bad;
        ZrLiveScheduleMgr::ReadAnswer(text, Store(), bad);
        EXPECT_FALSE(bad.ok);
        EXPECT_EQ(bad.data, nullptr);
        EXPECT_EQ(bad.message, message);
    }
}

TEST_F(LiveScheduleTest, RefusesNoRequestButAnAbsentOne)
{
    EXPECT_FALSE(manager->Request(nullptr, true));
    auto request = std::make_shared<LiveScheduleRequest>();
    EXPECT_TRUE(manager->Request(request, true));
    EXPECT_EQ(Responses(1).size(), 1u) << "context 0 is dropped only by the receiver, not here";
}
