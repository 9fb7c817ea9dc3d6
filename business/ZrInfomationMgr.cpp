#include "business/ZrInfomationMgr.h"

#include "business/ConfigFiles.h"
#include "business/ParamReqInfo.h"
#include "business/UserFiles.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "platform/JsonRead.h"
#include "script/ScriptEngine.h"

#include <json/json.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char kCaseSendType[] = "wc_stock_case_push";
constexpr uint8_t kUnknownMarket = 255;
// Milliseconds from 1601 (FILETIME's origin) to 1970.
constexpr uint64_t kEpochDeltaMs = 11644473600000ULL;

std::wstring LocalTimeText(const SYSTEMTIME& local)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d:%02d", local.wHour, local.wMinute);
    return text;
}

std::wstring NowText()
{
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return LocalTimeText(local);
}

// "hh:mm" of a decimal count of milliseconds since 1970; false for anything
// but digits, for 0 and for a moment Windows cannot show.
bool AuditTimeText(const std::string& digits, std::wstring& text)
{
    if (digits.empty() || digits.size() > 15)
        return false; // 15 digits reach beyond the year 30000 already
    uint64_t ms = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        ms = ms * 10 + static_cast<uint64_t>(c - '0');
    }
    if (ms == 0)
        return false;
    const uint64_t ticks = (ms + kEpochDeltaMs) * 10000;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utcTime{}, local{};
    if (!::FileTimeToSystemTime(&utc, &utcTime) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local))
        return false;
    text = LocalTimeText(local);
    return true;
}

// The text between the first 【 and the first 】 of the title.
std::wstring TitleTag(const std::wstring& title)
{
    const size_t open = title.find(L'\x3010');
    const size_t close = title.find(L'\x3011');
    if (open == std::wstring::npos || close == std::wstring::npos || close <= open + 1)
        return {};
    return title.substr(open + 1, close - open - 1);
}

std::wstring FirstNonEmpty(std::initializer_list<std::wstring> texts)
{
    for (const std::wstring& text : texts)
        if (!text.empty())
            return text;
    return {};
}

} // namespace

bool PromoteScripts::Load()
{
    m_scripts.clear();
    m_loaded = false;
    pugi::xml_document document;
    if (!ConfigFiles::LoadXml(m_path, document))
        return false;
    for (pugi::xml_node script : document.child("root").children()) {
        if (script.type() != pugi::node_element || !*script.name())
            continue;
        m_scripts[script.name()] = script.text().get();
    }
    m_loaded = true;
    return true;
}

std::string PromoteScripts::Script(const std::string& name) const
{
    auto it = m_scripts.find(name);
    return it == m_scripts.end() ? std::string() : it->second;
}

void ZrInfomationMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeInfomation, handler);

    const std::wstring stored = Owner().Data() ? Owner().Data()->BaseDirectory() : std::wstring();
    const std::wstring base = stored.empty() ? UserFiles::ExeDirectory() : stored;
    auto scripts = std::make_shared<PromoteScripts>(base + L"\\Config\\promotescript.xml");
    std::lock_guard<std::mutex> lock(m_lock);
    if (scripts->Load())
        m_scripts = std::move(scripts);
    else
        m_scripts.reset();
}

void ZrInfomationMgr::Uninit()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_scripts.reset();
}

std::vector<CaseItem> ZrInfomationMgr::RecentCases() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_recent;
}

std::shared_ptr<ParamReqInfo> ZrInfomationMgr::ChannelRequest(const std::shared_ptr<InfomationRequest>& request)
{
    auto info = std::make_shared<ParamReqInfo>();
    info->serial = Owner().Data() ? Owner().Data()->NextSerial() : 0;
    info->mode = request->mode;
    info->origin = request;
    info->key = kMessageType;
    info->MakeRequestKey(kMessageType);
    info->onPush = [this, request](const std::shared_ptr<ParamReqInfo>&, const std::shared_ptr<Json::Value>& root) {
        OnPush(request, root);
    };
    return info;
}

bool ZrInfomationMgr::HandleRequest(const RequestPtr& base)
{
    auto request = std::dynamic_pointer_cast<InfomationRequest>(base);
    if (!request)
        return false;
    auto info = ChannelRequest(request);
    if (request->topic.empty())
        return false;
    if (request->topic == kCaseTopic && request->mode == kModeSubscribe) {
        std::vector<CaseItem> recent = RecentCases();
        if (!recent.empty()) {
            auto replay = std::make_shared<InfomationResponse>();
            replay->request = request;
            replay->items = std::move(recent);
            replay->replay = true;
            Owner().PostResponse(replay);
        }
    }
    return Send(request, info);
}

bool ZrInfomationMgr::Send(const std::shared_ptr<InfomationRequest>& request, const std::shared_ptr<ParamReqInfo>& info)
{
    if (!request->topic.empty()) {
        std::lock_guard<std::mutex> lock(m_subscriberLock);
        auto same = std::find_if(m_subscribers.begin(), m_subscribers.end(), [&](const auto& known) {
            return known->topic == request->topic && known->receiverId == request->receiverId
                   && known->context == request->context;
        });
        if (same != m_subscribers.end()) {
            if (request->mode == kModeUnsubscribe)
                m_subscribers.erase(same);
            else
                *same = request;
        } else if (request->mode != kModeUnsubscribe) {
            m_subscribers.push_back(request);
        }
    }
    info->body = Owner().Data() ? Owner().Data()->Lookup("pushcore", "usercase") : std::string();
    if (info->body.empty())
        return false;
    Owner().PushRequest(info);
    return true;
}

void ZrInfomationMgr::OnStationStateChanged(bool running)
{
    if (!running)
        Renew();
}

void ZrInfomationMgr::OnReload()
{
    Renew();
}

void ZrInfomationMgr::Renew()
{
    std::vector<std::shared_ptr<InfomationRequest>> subscribers;
    {
        std::lock_guard<std::mutex> lock(m_subscriberLock);
        subscribers = m_subscribers;
    }
    for (const auto& known : subscribers) {
        auto renewed = std::make_shared<InfomationRequest>(*known);
        renewed->mode = kModeSubscribe;
        Send(renewed, ChannelRequest(renewed));
    }
}

bool ZrInfomationMgr::FillItem(const Json::Value& root, const std::string& scriptText, const ZrCommonData* data,
                               CaseItem& item, bool& scripted)
{
    scripted = false;
    const Json::Value* message = root.isObject() ? JsonRead::Member(root, "message") : nullptr;
    if (!message)
        return false;
    if (!message->isObject()) {
        Json::Value parsed;
        if (!message->isString() || !JsonRead::Parse(message->asString(), parsed) || !parsed.isObject())
            return false;
    }
    item = CaseItem();
    item.kind = JsonRead::Text(root, "sendType") == kCaseSendType ? kCaseStockKind : 0;
    item.timeText = NowText();

    if (scriptText.empty() || !message->isString())
        return true;
    ScriptEngine engine;
    if (!engine.create() || !engine.registerJson())
        return true;
    std::string result, error;
    if (!engine.run(scriptText, message->asString(), result, error))
        return true;
    engine.destroy();

    Json::Value shaped;
    if (!JsonRead::Parse(result, shaped) || !shaped.isObject() || JsonRead::Int(shaped, "isCaseStock") != 1)
        return true;
    item.title = JsonRead::WideText(shaped, "title");
    item.headline = FirstNonEmpty(
        {JsonRead::WideText(shaped, "stockinfo"), JsonRead::WideText(shaped, "show_title"), item.title});
    item.brief = FirstNonEmpty({JsonRead::WideText(shaped, "briefdesc"), JsonRead::WideText(shaped, "show_content")});
    std::wstring audit;
    if (AuditTimeText(JsonRead::Text(shaped, "auditTime"), audit))
        item.timeText = audit;
    item.tag = JsonRead::WideText(shaped, "tag");
    if (item.tag.empty())
        item.tag = TitleTag(item.title);
    item.clickUrl = JsonRead::Text(shaped, "click_url");

    int32_t market = kUnknownMarket;
    if (!data || !data->MarketId(JsonRead::Text(shaped, "stockMarket"), market))
        market = kUnknownMarket;
    item.stock.market = static_cast<uint8_t>(market);
    const std::string code = JsonRead::Text(shaped, "stockCode");
    std::memcpy(item.stock.code, code.data(), std::min(code.size(), sizeof(item.stock.code) - 1));

    item.key = JsonRead::Text(shaped, "course") + "|";
    for (const wchar_t unit : item.title) {
        if (item.key.size() >= kKeyBytes)
            break;
        item.key += static_cast<char>(unit & 0xFF);
    }
    item.kind = kCaseStockKind;
    scripted = true;
    return true;
}

void ZrInfomationMgr::OnPush(const std::shared_ptr<InfomationRequest>& request, const std::shared_ptr<Json::Value>& root)
{
    auto response = std::make_shared<InfomationResponse>();
    response->request = request;
    std::shared_ptr<const PromoteScripts> scripts;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        scripts = m_scripts;
    }
    const std::string script = scripts ? scripts->Script(kScriptName) : std::string();
    CaseItem item;
    bool scripted = false;
    if (FillItem(root ? *root : Json::Value(), script, Owner().Data(), item, scripted)) {
        // Only a case the script recognised is worth replaying.
        if (scripted)
            Remember(item);
        response->items.push_back(std::move(item));
    }
    Owner().PostResponse(response);
}

void ZrInfomationMgr::Remember(const CaseItem& item)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const bool known = !item.key.empty() && std::any_of(m_recent.begin(), m_recent.end(),
                                                        [&](const CaseItem& held) { return held.key == item.key; });
    if (known)
        return;
    m_recent.push_back(item);
    while (m_recent.size() > kRecentCount)
        m_recent.erase(m_recent.begin());
}
