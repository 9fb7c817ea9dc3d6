#include "business/ZrQuotePriceMgr.h"

#include "business/ParamReqInfo.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "platform/JsonRead.h"
#include "platform/TextConv.h"

#include <json/json.h>

#include <cstring>
#include <cwchar>

namespace {

const char kQuoteMessageType[] = "2001";

int64_t DigitsValue(const std::wstring& digits)
{
    return std::wcstoll(digits.c_str(), nullptr, 10);
}

} // namespace

std::wstring FormatPriceText(const std::wstring& digits, uint32_t precise)
{
    // No price has more decimals than this; a larger precision from the wire
    // would ask for a text of up to 4 GiB zeros.
    constexpr uint32_t kMaxPrecise = 18;
    if (digits.empty() || precise == 0 || precise > kMaxPrecise)
        return digits;
    if (precise >= digits.size())
        return L"0." + std::wstring(precise - digits.size(), L'0') + digits;
    std::wstring text = digits;
    text.insert(text.size() - precise, 1, L'.');
    return text;
}

std::wstring FormatChangeText(int64_t prevClose, int64_t latest)
{
    // Beyond this the scaled difference would overflow; no real price comes
    // near it.
    constexpr int64_t kLimit = 100000000000000; // 10^14
    if (prevClose == 0 || prevClose > kLimit || prevClose < -kLimit || latest > kLimit || latest < -kLimit)
        return L"--";
    int64_t e = (latest - prevClose) * 10000;
    e += e >= 0 ? prevClose / 2 : -(prevClose / 2);
    int64_t s = e / prevClose;
    const bool negative = s < 0;
    if (negative)
        s = -s;
    wchar_t text[48];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%ls%lld.%02lld%%", negative ? L"-" : L"",
                  static_cast<long long>(s / 100), static_cast<long long>(s % 100));
    return text;
}

StockID ReadStockID(const Json::Value& element, const char* marketMember, const char* codeMember)
{
    StockID stock;
    stock.market = static_cast<uint8_t>(JsonRead::UInt(element, marketMember));
    const std::string code = JsonRead::Text(element, codeMember);
    if (code.size() < sizeof(stock.code))
        std::memcpy(stock.code, code.data(), code.size());
    return stock;
}

Json::Value StockIdArray(const std::vector<StockID>& stocks)
{
    Json::Value ids(Json::arrayValue);
    for (const StockID& stock : stocks) {
        Json::Value id(Json::objectValue);
        id["code"] = std::string(stock.code, strnlen(stock.code, sizeof(stock.code)));
        id["marketid"] = static_cast<int>(stock.market);
        ids.append(id);
    }
    return ids;
}

void ZrQuotePriceMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeQuoteBrief, handler);
}

std::string ZrQuotePriceMgr::RequestBody(const std::vector<StockID>& stocks, int32_t mode)
{
    Json::Value body(Json::objectValue);
    body["end"] = static_cast<Json::UInt>(stocks.size());
    Json::Value info(Json::objectValue);
    info["paramtype"] = 2;
    info["stockid"] = StockIdArray(stocks);
    body["info"] = info;
    body["order"] = true;
    body["pushflag"] = mode != kModeSingle;
    Json::Value fields(Json::arrayValue);
    for (Json::UInt field : {10u, 11u, 96u, 97u, 98u})
        fields.append(field);
    body["respfield"] = fields;
    body["sortfield"] = 0;
    return JsonCompact(body) + "\n";
}

bool ZrQuotePriceMgr::HandleRequest(const RequestPtr& request)
{
    const auto quote = std::dynamic_pointer_cast<QuoteBriefRequest>(request);
    if (!quote || !Owner().Data())
        return false;
    auto info = std::make_shared<ParamReqInfo>();
    info->serial = Owner().Data()->NextSerial();
    info->mode = quote->mode;
    info->origin = request;
    info->key = kQuoteMessageType;
    info->MakeRequestKey(kQuoteMessageType);
    info->body = RequestBody(quote->stocks, quote->mode);
    // Bound to the request, not to the ParamReqInfo, which the channel owns.
    info->onPush = [this, request](const std::shared_ptr<ParamReqInfo>&, const std::shared_ptr<Json::Value>& frame) {
        OnQuote(request, frame);
    };
    Owner().QuoteRequest(info);
    return true;
}

std::vector<QuoteBriefItem> ZrQuotePriceMgr::ParseItems(const Json::Value* frame)
{
    std::vector<QuoteBriefItem> items;
    const Json::Value null;
    const Json::Value& body = frame && frame->isObject() ? (*frame)["Body"] : null;
    if (!body.isObject())
        return items;
    const Json::Value& data = body["data"];
    if (!data.isArray() || data.empty())
        return items;
    items.resize(data.size());
    for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
        const Json::Value& element = data[i];
        const Json::Value& base = element.isObject() ? element["base"] : null;
        QuoteBriefItem& item = items[i];
        item.stock = ReadStockID(base, "marketid", "code");
        item.oldMarketCode = JsonRead::Text(base, "oldmarketcode");
        item.status = static_cast<uint8_t>(JsonRead::UInt(base, "status"));
        item.name = JsonRead::WideText(base, "name");
        const uint32_t precise = JsonRead::UInt(base, "precise");
        const std::wstring price = JsonRead::WideText(element, "newprice");
        const std::wstring prevClose = JsonRead::WideText(element, "yclose");
        const int64_t latest = DigitsValue(price);
        const int64_t previous = DigitsValue(prevClose);
        item.direction = latest > previous ? 1 : latest < previous ? -1 : 0;
        item.priceText = FormatPriceText(price, precise);
        item.prevCloseText = FormatPriceText(prevClose, precise);
        item.changeText = FormatChangeText(previous, latest);
    }
    return items;
}

void ZrQuotePriceMgr::OnQuote(const RequestPtr& request, const std::shared_ptr<Json::Value>& frame)
{
    auto response = std::make_shared<QuoteBriefResponse>();
    response->request = request;
    response->items = ParseItems(frame.get());
    Owner().PostResponse(response);
}
