#pragma once
#include "business/ZrBusinessObject.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Json {
class Value;
}

// One abnormal movement as the quote service reports it.
struct StockABItem {
    std::wstring dateText; // yyyy-mm-dd, empty when the date is not plausible
    std::wstring timeText; // hh:mm:ss, empty when the time is not plausible
    StockID stock;
    std::string oldMarketCode;
    int32_t displayColor = 0;
    std::wstring name;
    std::wstring priceText;
    std::wstring changeText;
    int8_t direction = 0;
    StockID refStock;
    std::wstring refChangeText;
    std::wstring labelKey;
    std::wstring typeName;
    std::wstring text;
    int32_t displayRate = 0;

    // Stock, date, time, type and label identify a movement.
    bool SameMovement(const StockABItem& other) const;
};

struct StockABResponse : DataCoreResponse {
    // The first answer after a subscription or a reload: replace what is
    // shown by these items.
    bool firstSnapshot = false;
    std::vector<StockABItem> items;
    // The recent list handed to a new subscriber.
    bool replay = false;
};

// Hundredths of a percent as text: 523 -> 5.23%, -7 -> -0.07%.
std::wstring FormatPercentText(int64_t hundredths);
StockABItem ReadStockABItem(const Json::Value& element);

// Watches the sector stocks for abnormal movements with one subscription of
// its own, keeps the five most recent and fans new ones out to subscribers.
class ZrStockAbnormalMgr : public ZrBusinessObject {
public:
    static constexpr size_t kRecentCount = 5;

    explicit ZrStockAbnormalMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}
    void OnReload() override;
    void OnNotify(int32_t code, int32_t param) override;
    void OnQuoteChannelOpen() override;

    bool Subscribe(int32_t mode);

    static std::string RequestBody(const std::vector<StockID>& stocks);

private:
    bool HandleRequest(const RequestPtr& request);
    void OnMovements(const std::shared_ptr<Json::Value>& frame);

    // Guards m_recent and m_resetPending; never held with m_mutex. A plain
    // member rather than one made in Init and freed in Uninit: a late answer
    // between Uninit and the channel's stop must still find it.
    std::mutex m_lock;
    std::shared_ptr<StockABResponse> m_recent;
    bool m_resetPending = false;
};
