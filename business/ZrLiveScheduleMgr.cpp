#include "business/ZrLiveScheduleMgr.h"

#include "business/ParamReqInfo.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "platform/JsonRead.h"

#include <json/json.h>

#include <algorithm>

namespace {

std::wstring StatusText(int32_t periodStatus, const std::wstring& startTime)
{
    switch (periodStatus) {
    case 0:
        return startTime + L" 开播";
    case 1:
        return L"直播中";
    case 2:
    case 3:
        return L"已结束";
    default:
        return startTime;
    }
}

LiveProgram ReadProgram(const Json::Value& object, const std::string& sessionType, bool today, const ZrCommonData& store)
{
    LiveProgram p;
    p.periodNo = JsonRead::Text(object, "periodNo");
    p.programIntro = JsonRead::WideText(object, "programIntro");
    p.roomNo = JsonRead::Text(object, "roomNo");
    p.roomName = JsonRead::WideText(object, "roomName");
    p.authorId = JsonRead::Text(object, "authorId");
    p.authorName = JsonRead::WideText(object, "authorName");
    p.coverUrl = JsonRead::Text(object, "coverUrl");
    p.startTime = JsonRead::WideText(object, "startTime");
    p.endTime = JsonRead::WideText(object, "endTime");
    p.periodStatus = JsonRead::Int(object, "periodStatus");
    p.appointmentFlag = JsonRead::Int(object, "appointmentFlag");
    p.reportBeginTime = JsonRead::Int64(object, "reportBeginTime");
    p.hot = JsonRead::Int64(object, "hot");
    p.hotFlag = JsonRead::Bool(object, "hotFlag");
    p.today = today;
    if (p.periodStatus == 1)
        p.sessionKind = 2;
    else
        p.sessionKind = sessionType == "MID_MARKET" ? 1 : 0;
    p.statusText = StatusText(p.periodStatus, p.startTime);
    p.jumpUrl = p.periodNo.empty() ? store.JumpUrl("live", p.roomNo) : store.JumpUrl("liveperiod", p.roomNo, p.periodNo);
    return p;
}

void FillSchedule(const Json::Value& data, const ZrCommonData& store, LiveScheduleData& schedule)
{
    const Json::Value* days = JsonRead::Member(data, "days");
    if (!days || !days->isArray())
        return;
    for (const Json::Value& dayObject : *days) {
        if (!dayObject.isObject())
            continue;
        LiveDay day;
        day.date = JsonRead::Text(dayObject, "date");
        day.weekday = JsonRead::Int(dayObject, "weekday");
        day.currentSession = JsonRead::Text(dayObject, "currentSession");
        day.programCount = JsonRead::Int(dayObject, "programCount");
        day.today = JsonRead::Bool(dayObject, "today");
        const Json::Value* sessions = JsonRead::Member(dayObject, "sessions");
        if (sessions && sessions->isArray()) {
            for (const Json::Value& session : *sessions) {
                if (!session.isObject())
                    continue;
                const std::string sessionType = JsonRead::Text(session, "sessionType");
                const Json::Value* programs = JsonRead::Member(session, "programs");
                if (!programs || !programs->isArray())
                    continue;
                for (const Json::Value& program : *programs) {
                    if (program.isObject())
                        day.programs.push_back(ReadProgram(program, sessionType, day.today, store));
                }
            }
        }
        std::sort(day.programs.begin(), day.programs.end(),
                  [](const LiveProgram& a, const LiveProgram& b) { return a.startTime < b.startTime; });
        schedule.days.push_back(std::move(day));
    }
}

} // namespace

void ZrLiveScheduleMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeLiveSchedule, handler);
}

bool ZrLiveScheduleMgr::HandleRequest(const RequestPtr& request)
{
    if (!request)
        return false;

    if (request->onImmediate) {
        std::shared_ptr<const LiveScheduleData> cached;
        {
            std::lock_guard<std::mutex> lock(m_cacheLock);
            if (m_cacheValid)
                cached = m_cache;
        }
        if (cached) {
            auto response = std::make_shared<LiveScheduleResponse>();
            response->request = request;
            response->ok = true;
            response->data = std::move(cached);
            request->onImmediate(response);
        }
    }

    auto info = std::make_shared<ParamReqInfo>();
    info->section = "live";
    info->key = "schedule";
    info->signStyle = 2;
    info->onResponse = [this, request](const std::shared_ptr<ParamReqInfo>&, const char* body, uint32_t length) {
        OnAnswer(request, body, length);
    };
    // Through the owner rather than the process-wide instance: the same object
    // in the program, and a test's own manager otherwise.
    Owner().HttpGet(info, false);
    return true;
}

void ZrLiveScheduleMgr::ReadAnswer(std::string_view body, const ZrCommonData& store, LiveScheduleResponse& response)
{
    Json::Value root;
    if (body.empty() || !JsonRead::Parse(body, root) || !root.isObject())
        return;
    const int32_t code = JsonRead::Int(root, "code");
    if (code != 0 && code != 1 && code != 200) {
        response.message = JsonRead::WideText(root, "message");
        return;
    }
    auto schedule = std::make_shared<LiveScheduleData>();
    const Json::Value* data = JsonRead::Member(root, "data");
    if (data && data->isObject())
        FillSchedule(*data, store, *schedule);
    response.ok = !schedule->days.empty();
    if (response.ok)
        response.data = std::move(schedule);
}

void ZrLiveScheduleMgr::OnAnswer(const RequestPtr& request, const char* body, uint32_t length)
{
    auto response = std::make_shared<LiveScheduleResponse>();
    response->request = request;
    try {
        if (body && length > 0 && Owner().Data())
            ReadAnswer(std::string_view(body, length), *Owner().Data(), *response);
    } catch (...) {
        // Posted as far as it was filled; a half-read schedule is not kept.
        response->ok = false;
        response->data.reset();
    }
    if (response->ok) {
        std::lock_guard<std::mutex> lock(m_cacheLock);
        m_cache = response->data;
        m_cacheValid = true;
    }
    Owner().PostResponse(response);
}
