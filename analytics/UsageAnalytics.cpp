#include "platform/Win32.h"
#include "analytics/UsageAnalytics.h"

#include "business/ParamReqInfo.h"
#include "business/ZrCommonData.h"
#include "net/WeHttpService.h"
#include "platform/DeviceIdentity.h"
#include "platform/ModulePath.h"
#include "platform/TextConv.h"
#include "platform/TrayIni.h"

#include <json/json.h>

#include <ctime>

namespace {

// "channel_reffer" in section "system" of Data\Common\channel_reffer.ini.
std::string ReadChannel(const std::wstring& baseDirectory)
{
    const std::wstring path = baseDirectory + L"\\Data\\Common\\channel_reffer.ini";
    wchar_t value[257] = {};
    ::GetPrivateProfileStringW(L"system", L"channel_reffer", L"", value, 257, path.c_str());
    return WideToUtf8(value);
}

} // namespace

AnalyticsSessions& AnalyticsSessions::Process()
{
    static AnalyticsSessions sessions;
    return sessions;
}

UsageAnalytics::UsageAnalytics(ZrCommonData& data, PostFn post) : UsageAnalytics(data, std::move(post), Environment{})
{
}

UsageAnalytics::UsageAnalytics(ZrCommonData& data, PostFn post, Environment environment)
    : m_data(data),
      m_post(std::move(post)),
      m_environment(std::move(environment)),
      m_sessions(m_environment.sessions ? *m_environment.sessions : AnalyticsSessions::Process())
{
    m_mac = DeviceIdentity::macAddress();
    m_ip = DeviceIdentity::ipAddress();
    DeviceIdentity::osVersion(m_osName, m_osVersion);
    m_screenWidth = static_cast<uint32_t>(::GetSystemMetrics(SM_CXSCREEN));
    m_screenHeight = static_cast<uint32_t>(::GetSystemMetrics(SM_CYSCREEN));
    m_channel = ReadChannel(BaseDirectory());
}

std::wstring UsageAnalytics::BaseDirectory() const
{
    std::wstring directory = m_data.BaseDirectory();
    return directory.empty() ? ExecutableDirectory() : directory;
}

uint64_t UsageAnalytics::Now() const
{
    return m_environment.tickCount ? m_environment.tickCount() : ::GetTickCount64();
}

void UsageAnalytics::StartSession(AnalyticsSession& session)
{
    MakeGuidText(session.id, m_environment.createGuid);
    session.active = true;
    session.startTick = Now();
}

std::string UsageAnalytics::EncodeBody(const std::string& recordText)
{
    // Base64 holds no space, so the form encoder's "+" for a space never
    // applies: "+", "/" and "=" all leave as %XX.
    return "data=" + WeHttp::PercentEncode(base64Encode(recordText));
}

std::string UsageAnalytics::BuildRecord(const std::string& name, const Properties& properties) const
{
    const std::string version = m_data.AppVersion();
    const std::string org = WideToUtf8(m_data.Org());

    // Json::Value keeps members in a map ordered by memcmp of the names, so
    // the writer puts them in ascending byte order.
    Json::Value props(Json::objectValue);
    props["harddisksn"] = m_data.DeviceId();
    props["$is_login_id"] = true;
    props["$app_version"] = version;
    props["appverfull"] = version;
    props["$wifi"] = false;
    props["$screen_width"] = Json::UInt(m_screenWidth);
    props["$screen_height"] = Json::UInt(m_screenHeight);
    props["org"] = org;
    props["app"] = org;
    props["$os"] = "Windows";
    props["projectid"] = m_data.Lookup("stat", "projectid");
    props["sid"] = m_data.Sid();
    props["reffer"] = m_data.Reffer();
    props["bid"] = m_data.Bid();
    props["ip"] = m_ip;
    props["$os_version"] = m_osVersion;
    props["$model"] = m_osVersion;
    props["$lib_version"] = m_osVersion;
    props["$lib"] = m_osName;
    props["$device_id"] = m_mac;
    if (!m_channel.empty())
        props["channel_reffer"] = m_channel;
    props["uid"] = m_data.UserName();
    props["user_type"] = m_data.Token().empty() ? "1" : "2";
    for (const auto& [key, value] : properties)
        if (!key.empty())
            props[key] = value;

    std::string distinctId = m_data.DistinctId();
    if (distinctId.empty())
        distinctId = newGuidString();

    Json::Value record(Json::objectValue);
    record["distinct_id"] = distinctId;
    record["time"] = Json::UInt64(std::time(nullptr));
    record["type"] = "track";
    record["event"] = name;
    record["project"] = m_data.Project();
    record["time_free"] = true;
    record["properties"] = std::move(props);

    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, record) + "\n";
}

bool UsageAnalytics::report(const std::string& name, const Properties& properties)
{
    if (name.empty() || !m_post)
        return false;
    const std::string endpoint = m_data.Lookup("stat", "url");
    if (endpoint.empty())
        return false;

    auto request = std::make_shared<ParamReqInfo>();
    request->url = endpoint;
    request->body = EncodeBody(BuildRecord(name, properties));
    request->bodyStyle = 0;
    request->signStyle = 0;
    request->onResponse = [](const std::shared_ptr<ParamReqInfo>&, const char*, uint32_t) {};
    return m_post(std::move(request));
}

bool UsageAnalytics::SpiritStart(const std::wstring& startSource)
{
    AnalyticsSession& session = m_sessions.spirit;
    if (session.active)
        return false;
    StartSession(session);

    const TrayIni trayIni(BaseDirectory());
    const bool firstShow = trayIni.ReadInt(L"firstshow", 0) == 0;
    if (firstShow)
        trayIni.WriteInt(L"firstshow", 1);

    return report("desktop_spirit_start", {{"start_source", WideToUtf8(startSource)},
                                           {"is_first_show", firstShow ? "true" : "false"},
                                           {"session_id", session.id}});
}

bool UsageAnalytics::SpiritExit()
{
    AnalyticsSession& session = m_sessions.spirit;
    if (!session.active)
        return false;
    const uint64_t seconds = (Now() - session.startTick) / 1000;
    const bool queued = report("desktop_spirit_exit", {{"exit_reason", "user_exit"},
                                                       {"duration", std::to_string(seconds)},
                                                       {"session_id", session.id}});
    session.active = false;
    return queued;
}

bool UsageAnalytics::ContextMenuClick(const std::wstring& item, const std::wstring& nativeCommand)
{
    const AnalyticsSession& session = m_sessions.spirit;
    if (!session.active)
        return false;
    return report("desktop_spirit_context_menu_click",
                  {{"item", WideToUtf8(item)}, {"native_command", WideToUtf8(nativeCommand)}, {"session_id", session.id}});
}

bool UsageAnalytics::TrayMenuClick(const std::wstring& item, const std::wstring& nativeCommand)
{
    const AnalyticsSession& session = m_sessions.spirit;
    if (!session.active && g_processSessionId[0] == '\0')
        MakeGuidText(g_processSessionId, m_environment.createGuid);
    const char* sessionId = session.active ? session.id : g_processSessionId;
    return report("desktop_spirit_tray_menu_click",
                  {{"item", WideToUtf8(item)}, {"native_command", WideToUtf8(nativeCommand)}, {"session_id", sessionId}});
}

bool UsageAnalytics::MessageExposure(const std::wstring& contentType, const std::wstring& content)
{
    const AnalyticsSession& session = m_sessions.spirit;
    if (!session.active)
        return false;
    return report("desktop_spirit_message_exposure",
                  {{"content_type", WideToUtf8(contentType)}, {"content", WideToUtf8(content)}, {"session_id", session.id}});
}

bool UsageAnalytics::MessageClick(const std::wstring& contentType, const std::wstring& content,
                                  const std::wstring& nativeCommand)
{
    const AnalyticsSession& session = m_sessions.spirit;
    if (!session.active)
        return false;
    return report("desktop_spirit_message_click", {{"content_type", WideToUtf8(contentType)},
                                                   {"content", WideToUtf8(content)},
                                                   {"native_command", WideToUtf8(nativeCommand)},
                                                   {"session_id", session.id}});
}

bool UsageAnalytics::PanelOpen(const std::wstring& openSource)
{
    AnalyticsSession& session = m_sessions.panel;
    StartSession(session);
    m_sessions.lastPanelView.clear();
    return report("desktop_spirit_panel_open", {{"open_source", WideToUtf8(openSource)}, {"session_id", session.id}});
}

bool UsageAnalytics::PanelClose(const std::wstring& closeSource)
{
    AnalyticsSession& session = m_sessions.panel;
    if (!session.active)
        return false;
    const uint64_t milliseconds = Now() - session.startTick;
    const bool queued =
        report("desktop_spirit_panel_close", {{"close_source", closeSource.empty() ? "close_button" : WideToUtf8(closeSource)},
                                              {"duration_ms", std::to_string(milliseconds)},
                                              {"session_id", session.id}});
    session.active = false;
    return queued;
}

bool UsageAnalytics::PanelView(const std::wstring& module, const std::wstring& pageState)
{
    const AnalyticsSession& session = m_sessions.panel;
    if (!session.active)
        return false;
    const std::string moduleText = WideToUtf8(module);
    const std::string stateText = WideToUtf8(pageState);
    std::string view = moduleText + "|" + stateText;
    if (view == m_sessions.lastPanelView)
        return false;
    m_sessions.lastPanelView = std::move(view);
    return report("desktop_spirit_panel_view",
                  {{"module", moduleText}, {"page_state", stateText}, {"session_id", session.id}});
}

bool UsageAnalytics::PanelClick(const std::wstring& clickName, const std::wstring& nativeCommand)
{
    const AnalyticsSession& session = m_sessions.panel;
    if (!session.active)
        return false;
    return report("desktop_spirit_panel_click",
                  {{"click_name", WideToUtf8(clickName)}, {"native_command", WideToUtf8(nativeCommand)}, {"session_id", session.id}});
}

bool UsageAnalytics::PanelContentClick(const std::wstring& contentType, const std::wstring& content,
                                       const std::wstring& nativeCommand)
{
    const AnalyticsSession& session = m_sessions.panel;
    if (!session.active)
        return false;
    return report("desktop_spirit_panel_content_click", {{"content_type", WideToUtf8(contentType)},
                                                         {"content", WideToUtf8(content)},
                                                         {"native_command", WideToUtf8(nativeCommand)},
                                                         {"session_id", session.id}});
}
