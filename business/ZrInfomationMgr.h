#pragma once
#include "platform/Win32.h"

#include "business/ZrBusinessObject.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Json {
class Value;
}
struct ParamReqInfo;
class ZrCommonData;

// One case stock as the ball and the case page show it.
struct CaseItem {
    std::string key; // identity of the case: course and title
    int32_t kind = 0; // kCaseStockKind for a case stock
    std::wstring tag;
    std::wstring headline;
    std::wstring brief;
    std::wstring title;
    std::wstring timeText; // local "hh:mm"
    std::string clickUrl;
    StockID stock;
};

struct InfomationResponse : DataCoreResponse {
    std::vector<CaseItem> items;
    // The recent list handed to a new subscriber.
    bool replay = false;
};

// The promotion scripts of "Config//promotescript.xml": one Lua script per
// message type, named by its element.
class PromoteScripts {
public:
    explicit PromoteScripts(std::wstring path) : m_path(std::move(path)) {}

    bool Load();
    bool Loaded() const { return m_loaded; }
    // Empty when no script has that name.
    std::string Script(const std::string& name) const;

private:
    std::wstring m_path;
    std::map<std::string, std::string> m_scripts;
    bool m_loaded = false;
};

// Case-stock pushes: subscribes the push channel to the configured case topic
// for each subscriber, turns every pushed message into a case item through
// the "qnpromote" script, keeps the five most recent for new subscribers and
// renews its subscriptions when the push channel comes back after VelStation
// has ended.
class ZrInfomationMgr : public ZrBusinessObject {
public:
    static constexpr const char* kCaseTopic = "qnlx_pc_stock_case_pop_topic";
    static constexpr const char* kMessageType = "3001";
    static constexpr const char* kScriptName = "qnpromote";
    static constexpr int32_t kCaseStockKind = 3;
    static constexpr size_t kRecentCount = 5;
    static constexpr size_t kKeyBytes = 200;

    explicit ZrInfomationMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override;
    void OnStationStateChanged(bool running) override;
    // A reload starts the push channel again, which forgets every topic.
    void OnReload() override;

    std::vector<CaseItem> RecentCases() const;

    // The item of one pushed message (root may be null): none when its
    // "message" is no JSON object; an item without headline when no script
    // made a case of it (scripted false). scriptText is the "qnpromote"
    // script, may be empty.
    static bool FillItem(const Json::Value& root, const std::string& scriptText, const ZrCommonData* data,
                         CaseItem& item, bool& scripted);

private:
    bool HandleRequest(const RequestPtr& request);
    bool Send(const std::shared_ptr<InfomationRequest>& request, const std::shared_ptr<ParamReqInfo>& info);
    std::shared_ptr<ParamReqInfo> ChannelRequest(const std::shared_ptr<InfomationRequest>& request);
    void OnPush(const std::shared_ptr<InfomationRequest>& request, const std::shared_ptr<Json::Value>& root);
    void Remember(const CaseItem& item);
    void Renew();

    // Guards m_scripts and m_recent; never held with m_subscriberLock. A
    // plain member rather than a critical section made in Init and deleted in
    // Uninit: a push that arrives between Uninit and the channel's stop must
    // still find it.
    mutable std::mutex m_lock;
    // Absent when the file could not be loaded, and after Uninit. A push
    // holds its own reference while its script runs.
    std::shared_ptr<const PromoteScripts> m_scripts;
    std::vector<CaseItem> m_recent; // oldest first

    std::mutex m_subscriberLock;
    std::vector<std::shared_ptr<InfomationRequest>> m_subscribers;
};
