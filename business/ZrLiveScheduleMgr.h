#pragma once
#include "business/DataCoreRequest.h"
#include "business/ZrBusinessObject.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class ZrCommonData;

struct LiveProgram {
    std::string periodNo;
    std::wstring programIntro;
    std::string roomNo;
    std::wstring roomName;
    std::string authorId;
    std::wstring authorName;
    std::string coverUrl;
    std::wstring startTime;
    std::wstring endTime;
    std::wstring statusText;
    int32_t periodStatus = 0; // 0 coming, 1 live now, 2 and 3 ended
    int32_t appointmentFlag = 0;
    int64_t reportBeginTime = 0;
    int64_t hot = 0;
    bool hotFlag = false;
    bool today = false;
    uint8_t sessionKind = 0; // 0 pre-market, 1 mid-market, 2 live now
    std::string jumpUrl;
};

struct LiveDay {
    std::string date;
    int32_t weekday = 0;
    std::string currentSession;
    int32_t programCount = 0;
    bool today = false;
    // The programs of all sessions, by start time.
    std::vector<LiveProgram> programs;
};

struct LiveScheduleData {
    std::vector<LiveDay> days;
};

struct LiveScheduleResponse : DataCoreResponse {
    bool ok = false;
    // The server's message when it did not accept the request.
    std::wstring message;
    // Set when ok; never changed once handed out.
    std::shared_ptr<const LiveScheduleData> data;
};

// The seven-day live schedule. Every request fetches it anew; the last good
// schedule is kept so that a window can show it at once meanwhile.
class ZrLiveScheduleMgr : public ZrBusinessObject {
public:
    explicit ZrLiveScheduleMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

    // Fills ok, message and (when ok) data from an answer body; page
    // addresses come from the store's templates.
    static void ReadAnswer(std::string_view body, const ZrCommonData& store, LiveScheduleResponse& response);

private:
    bool HandleRequest(const RequestPtr& request);
    void OnAnswer(const RequestPtr& request, const char* body, uint32_t length);

    // Taking a reference and replacing the schedule exclude each other, so a
    // handler never sees a half-replaced cache.
    std::mutex m_cacheLock;
    std::shared_ptr<const LiveScheduleData> m_cache;
    bool m_cacheValid = false;
};
