#pragma once
#include "platform/GuidText.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class ZrCommonData;
struct ParamReqInfo;

struct AnalyticsSession {
    char id[kGuidTextSize] = {};
    bool active = false;
    uint64_t startTick = 0;
};

// The activity sessions of the process: the spirit's, from its start to its
// exit, and the detail panel's, from shown to hidden. UI thread only.
struct AnalyticsSessions {
    AnalyticsSession spirit;
    AnalyticsSession panel;
    // "module|page_state" of the panel view last reported in this panel session.
    std::string lastPanelView;

    static AnalyticsSessions& Process();
};

// Reports what the user does with the spirit to the event-tracking endpoint:
// one record per event, posted at once, never retried. The event functions
// run on the UI thread and return whether an upload was queued.
class UsageAnalytics {
public:
    using Properties = std::map<std::string, std::string>; // UTF-8
    // Queues the upload; the business manager passes one that posts on a worker.
    using PostFn = std::function<bool(std::shared_ptr<ParamReqInfo>)>;

    struct Environment {
        // Milliseconds of system up-time; GetTickCount64 when empty.
        std::function<uint64_t()> tickCount;
        // CoCreateGuid when null.
        GuidCreator createGuid = nullptr;
        // The process's sessions when null.
        AnalyticsSessions* sessions = nullptr;
    };

    // Gathers the device values once; data must outlive this object.
    UsageAnalytics(ZrCommonData& data, PostFn post);
    UsageAnalytics(ZrCommonData& data, PostFn post, Environment environment);
    UsageAnalytics(const UsageAnalytics&) = delete;
    UsageAnalytics& operator=(const UsageAnalytics&) = delete;

    // False when the name is empty, no endpoint is configured or the upload
    // could not be queued.
    bool report(const std::string& name, const Properties& properties);

    bool SpiritStart(const std::wstring& startSource);
    bool SpiritExit();
    bool ContextMenuClick(const std::wstring& item, const std::wstring& nativeCommand);
    bool TrayMenuClick(const std::wstring& item, const std::wstring& nativeCommand);
    bool MessageExposure(const std::wstring& contentType, const std::wstring& content);
    bool MessageClick(const std::wstring& contentType, const std::wstring& content, const std::wstring& nativeCommand);
    bool PanelOpen(const std::wstring& openSource);
    // An empty source stands for "close_button".
    bool PanelClose(const std::wstring& closeSource);
    bool PanelView(const std::wstring& module, const std::wstring& pageState);
    bool PanelClick(const std::wstring& clickName, const std::wstring& nativeCommand);
    bool PanelContentClick(const std::wstring& contentType, const std::wstring& content,
                           const std::wstring& nativeCommand);

    // The body posted for one record text: "data=" and the percent-encoded
    // base64 of the text.
    static std::string EncodeBody(const std::string& recordText);

private:
    std::string BuildRecord(const std::string& name, const Properties& properties) const;
    void StartSession(AnalyticsSession& session);
    uint64_t Now() const;
    std::wstring BaseDirectory() const;

    ZrCommonData& m_data;
    PostFn m_post;
    Environment m_environment;
    AnalyticsSessions& m_sessions;

    std::string m_mac, m_ip, m_osName, m_osVersion, m_channel;
    uint32_t m_screenWidth = 0, m_screenHeight = 0;
};
