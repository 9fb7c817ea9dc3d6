#pragma once
#include "business/ZrBusinessObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Json {
class Value;
}
struct ParamReqInfo;

// One stock or index of a quote answer, with its texts ready to show.
struct QuoteBriefItem {
    StockID stock;
    std::string oldMarketCode;
    uint8_t status = 0;
    int8_t direction = 0; // 1 above the previous close, -1 below, 0 equal
    std::wstring name;
    std::wstring priceText;
    std::wstring prevCloseText;
    std::wstring changeText;
};

struct QuoteBriefResponse : DataCoreResponse {
    std::vector<QuoteBriefItem> items; // answer order
};

// Prices travel as decimal digits scaled by 10^precise: "12345" with 2 is
// 123.45. Empty digits, precise 0 or a precise beyond 18 stay as they are.
std::wstring FormatPriceText(const std::wstring& digits, uint32_t precise);
// Change of latest against previous close in percent, two decimals, halves
// away from zero; "--" without a previous close.
std::wstring FormatChangeText(int64_t prevClose, int64_t latest);
// The stock named by a quote element's market id and code; a code too long
// for StockID leaves it all zero.
StockID ReadStockID(const Json::Value& element, const char* marketMember, const char* codeMember);
// The stocks as quote requests name them: [{"code": ..., "marketid": ...}].
Json::Value StockIdArray(const std::vector<StockID>& stocks);

// Index prices: every window subscription becomes one on the quote channel,
// and every answer to it a QuoteBriefResponse for that window.
class ZrQuotePriceMgr : public ZrBusinessObject {
public:
    explicit ZrQuotePriceMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

    // The body of a 2001 request; mode 2 asks for one answer only.
    static std::string RequestBody(const std::vector<StockID>& stocks, int32_t mode);
    // The items of one answer frame (nullptr: no frame).
    static std::vector<QuoteBriefItem> ParseItems(const Json::Value* frame);

private:
    bool HandleRequest(const RequestPtr& request);
    void OnQuote(const RequestPtr& request, const std::shared_ptr<Json::Value>& frame);
};
