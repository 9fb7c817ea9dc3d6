#include "business/ZrStockAbnormalMgr.h"

#include "business/ParamReqInfo.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "business/ZrQuotePriceMgr.h"
#include "platform/JsonRead.h"

#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char kMovementMessageType[] = "1001";
constexpr int32_t kNotifySectorChanged = 25;
constexpr uint32_t kSectorMarket = 12;
constexpr uint32_t kMovementsPerAnswer = 5;

std::wstring DateText(uint32_t date)
{
    const uint32_t month = date / 100 % 100;
    const uint32_t day = date % 100;
    if (date < 19000101 || month < 1 || month > 12 || day < 1 || day > 31)
        return {};
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u", date / 10000, month, day);
    return text;
}

std::wstring TimeText(uint32_t time)
{
    const uint32_t minutes = time / 100 % 100;
    const uint32_t seconds = time % 100;
    if (time == 0 || time >= 240000 || minutes >= 60 || seconds >= 60)
        return {};
    wchar_t text[32];
    std::swprintf(text, 32, L"%02u:%02u:%02u", time / 10000, minutes, seconds);
    return text;
}

bool SameStock(const StockID& a, const StockID& b)
{
    return a.market == b.market && std::strncmp(a.code, b.code, sizeof(a.code)) == 0;
}

} // namespace

bool StockABItem::SameMovement(const StockABItem& other) const
{
    return SameStock(stock, other.stock) && dateText == other.dateText && timeText == other.timeText
           && typeName == other.typeName && labelKey == other.labelKey;
}

std::wstring FormatPercentText(int64_t hundredths)
{
    // The magnitude as unsigned: -INT64_MIN does not fit the signed type.
    const uint64_t magnitude = hundredths < 0 ? 0 - static_cast<uint64_t>(hundredths) : static_cast<uint64_t>(hundredths);
    std::wstring digits = std::to_wstring(magnitude);
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), L'0');
    digits.insert(digits.size() - 2, 1, L'.');
    return (hundredths < 0 ? L"-" : L"") + digits + L"%";
}

StockABItem ReadStockABItem(const Json::Value& element)
{
    StockABItem item;
    item.dateText = DateText(JsonRead::UInt(element, "date"));
    item.timeText = TimeText(JsonRead::UInt(element, "time"));
    item.stock = ReadStockID(element, "marketid", "code");
    item.oldMarketCode = JsonRead::Text(element, "oldmarketcode");
    item.displayColor = static_cast<int32_t>(JsonRead::UInt(element, "displaycolor"));
    item.name = JsonRead::WideText(element, "name");
    item.priceText = FormatPriceText(JsonRead::WideText(element, "price"), JsonRead::UInt(element, "precise"));
    const int32_t change = JsonRead::Int(element, "zdf");
    item.changeText = FormatPercentText(change);
    item.direction = change > 0 ? 1 : change < 0 ? -1 : 0;
    item.refStock = ReadStockID(element, "refmarketid", "refcode");
    item.refChangeText = FormatPercentText(JsonRead::UInt(element, "refzdf"));
    item.labelKey = JsonRead::WideText(element, "displaykey");
    item.typeName = JsonRead::WideText(element, "typename");
    item.text = JsonRead::WideText(element, "text");
    if (item.text.empty())
        item.text = item.name + item.typeName;
    item.displayRate = static_cast<int32_t>(JsonRead::UInt(element, "displayrate"));
    return item;
}

void ZrStockAbnormalMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeStockAbnormal, handler);
}

void ZrStockAbnormalMgr::OnReload()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_recent.reset();
        m_resetPending = true;
    }
    Subscribe(kModeUnsubscribe);
    Subscribe(kModeSubscribe);
}

void ZrStockAbnormalMgr::OnNotify(int32_t code, int32_t)
{
    if (code == kNotifySectorChanged)
        OnReload();
}

void ZrStockAbnormalMgr::OnQuoteChannelOpen()
{
    Subscribe(kModeSubscribe);
}

std::string ZrStockAbnormalMgr::RequestBody(const std::vector<StockID>& stocks)
{
    Json::Value body(Json::objectValue);
    body["marketid"] = kSectorMarket;
    body["num"] = kMovementsPerAnswer;
    body["stockid"] = StockIdArray(stocks);
    body["type"] = 0;
    return JsonCompact(body) + "\n";
}

bool ZrStockAbnormalMgr::Subscribe(int32_t mode)
{
    ZrCommonData* data = Owner().Data();
    const auto stocks = data ? data->SectorStocks() : nullptr;
    if (!stocks)
        return false;
    auto info = std::make_shared<ParamReqInfo>();
    info->serial = data->NextSerial();
    info->mode = mode;
    info->key = kMovementMessageType;
    info->MakeRequestKey(kMovementMessageType);
    info->body = RequestBody(*stocks);
    info->onPush = [this](const std::shared_ptr<ParamReqInfo>&, const std::shared_ptr<Json::Value>& frame) {
        OnMovements(frame);
    };
    if (mode == kModeSubscribe) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_resetPending = true;
    }
    Owner().QuoteRequest(info);
    return true;
}

bool ZrStockAbnormalMgr::HandleRequest(const RequestPtr& request)
{
    UpdateSubscription(request);
    if (request->mode != kModeSubscribe)
        return true;
    std::shared_ptr<StockABResponse> replay;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_recent) {
            replay = std::make_shared<StockABResponse>();
            replay->request = request;
            replay->items = m_recent->items;
            replay->replay = true;
        }
    }
    if (replay)
        Owner().PostResponse(replay);
    return true;
}

void ZrStockAbnormalMgr::OnMovements(const std::shared_ptr<Json::Value>& frame)
{
    if (!frame || !frame->isObject())
        return;
    const Json::Value& body = (*frame)["Body"];
    if (!body.isObject())
        return;
    ZrCommonData* data = Owner().Data();
    const auto stocks = data ? data->SectorStocks() : nullptr;
    if (!stocks)
        return;

    std::vector<StockABItem> kept;
    const Json::Value& list = body["data"];
    if (list.isArray()) {
        for (const Json::Value& element : list) {
            StockABItem item = ReadStockABItem(element);
            for (const StockID& stock : *stocks) {
                if (SameStock(stock, item.stock)) {
                    kept.push_back(std::move(item));
                    break;
                }
            }
        }
    }

    StockABResponse published;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        published.firstSnapshot = m_resetPending;
        m_resetPending = false;
        if (published.firstSnapshot && m_recent)
            m_recent->items.clear();
        if (!m_recent)
            m_recent = std::make_shared<StockABResponse>();
        std::vector<StockABItem>& recent = m_recent->items;
        for (StockABItem& item : kept) {
            auto same = [&item](const StockABItem& other) { return item.SameMovement(other); };
            if (std::any_of(recent.begin(), recent.end(), same)
                || std::any_of(published.items.begin(), published.items.end(), same))
                continue;
            published.items.push_back(item);
            recent.push_back(std::move(item));
        }
        while (recent.size() > kRecentCount)
            recent.erase(recent.begin());
    }
    if (published.items.empty() && !published.firstSnapshot)
        return;
    for (const RequestPtr& subscriber : Subscribers(kRequestTypeStockAbnormal)) {
        auto response = std::make_shared<StockABResponse>(published);
        response->request = subscriber;
        Owner().PostResponse(response);
    }
}
