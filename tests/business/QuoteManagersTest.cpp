#include "platform/Win32.h"

#include "business/ZrQuotePriceMgr.h"
#include "business/ZrStockAbnormalMgr.h"
#include "platform/JsonRead.h"
#include "tests/business/InstalledManager.h"
#include "tests/support/SandboxHttp.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <climits>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

StockID Stock(uint8_t market, const char* code)
{
    StockID id;
    id.market = market;
    std::strncpy(id.code, code, sizeof(id.code) - 1);
    return id;
}

std::string Code(const StockID& id)
{
    return std::string(id.code, strnlen(id.code, sizeof(id.code)));
}

Json::Value ParseJson(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(JsonRead::Parse(text, value)) << text;
    return value;
}

} // namespace

TEST(QuoteTexts, PriceChangeAndPercentTexts)
{
    const struct {
        const wchar_t* digits;
        uint32_t precise;
        const wchar_t* text;
    } prices[] = {
        {L"5", 2, L"0.05"}, {L"1234", 0, L"1234"}, {L"12345", 2, L"123.45"}, {L"12", 2, L"0.12"},
        {L"", 3, L""}, {L"7", 4, L"0.0007"}, {L"100", 1, L"10.0"},
        // A precision off the wire beyond any price leaves the digits alone.
        {L"5", 18, L"0.000000000000000005"}, {L"5", 19, L"5"}, {L"5", 4294967295u, L"5"},
    };
    for (const auto& c : prices)
        EXPECT_EQ(FormatPriceText(c.digits, c.precise), c.text) << c.digits << " " << c.precise;

    const struct {
        int64_t prevClose, latest;
        const wchar_t* text;
    } changes[] = {
        {1000, 1012, L"1.20%"}, {1000, 995, L"-0.50%"}, {0, 5, L"--"}, {1000, 1000, L"0.00%"},
        // Halves go away from zero on both sides.
        {40000, 40002, L"0.01%"}, {40000, 39998, L"-0.01%"}, {40000, 40001, L"0.00%"},
        {3, 4, L"33.33%"}, {100, 1, L"-99.00%"}, {100, 300, L"200.00%"},
        // Absurd inputs stay bounded instead of overflowing.
        {INT64_MAX, 1, L"--"}, {1, INT64_MIN, L"--"},
    };
    for (const auto& c : changes)
        EXPECT_EQ(FormatChangeText(c.prevClose, c.latest), c.text) << c.prevClose << " -> " << c.latest;

    const std::pair<int64_t, const wchar_t*> percents[] = {
        {523, L"5.23%"}, {5, L"0.05%"}, {-7, L"-0.07%"}, {0, L"0.00%"}, {-1234, L"-12.34%"},
        {INT64_MIN, L"-92233720368547758.08%"},
    };
    for (const auto& [value, text] : percents)
        EXPECT_EQ(FormatPercentText(value), text) << value;
}

TEST(QuoteRequests, BodiesAreCompactSortedAndEndInALineFeed)
{
    const std::vector<StockID> two = {Stock(1, "000001"), Stock(0, "399006")};
    EXPECT_EQ(ZrQuotePriceMgr::RequestBody(two, kModeSubscribe),
              "{\"end\":2,\"info\":{\"paramtype\":2,\"stockid\":[{\"code\":\"000001\",\"marketid\":1},"
              "{\"code\":\"399006\",\"marketid\":0}]},\"order\":true,\"pushflag\":true,"
              "\"respfield\":[10,11,96,97,98],\"sortfield\":0}\n");
    EXPECT_NE(ZrQuotePriceMgr::RequestBody(two, kModeSingle).find("\"pushflag\":false"), std::string::npos);
    EXPECT_NE(ZrQuotePriceMgr::RequestBody(two, kModeUnsubscribe).find("\"pushflag\":true"), std::string::npos);
    EXPECT_EQ(ZrStockAbnormalMgr::RequestBody({Stock(1, "600000")}),
              "{\"marketid\":12,\"num\":5,\"stockid\":[{\"code\":\"600000\",\"marketid\":1}],\"type\":0}\n");
}

TEST(QuoteAnswers, ItemsFollowTheAnswerAndOddShapesGiveNone)
{
    const Json::Value frame = ParseJson(R"({"Body":{"data":[
        {"base":{"marketid":257,"code":"000001","oldmarketcode":"SH000001","status":3,"name":"上证指数","precise":2},
         "newprice":"330512","yclose":"329876"},
        {"base":{"marketid":0,"code":"0123456789012345678901234567890123","precise":2},"newprice":12345,"yclose":"100"},
        {"base":{"marketid":0,"code":"399006","precise":0},"newprice":"2100","yclose":"2100"}]}})");
    const auto items = ZrQuotePriceMgr::ParseItems(&frame);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].stock.market, 1) << "the market id is kept in 8 bits";
    EXPECT_EQ(Code(items[0].stock), "000001");
    EXPECT_EQ(items[0].oldMarketCode, "SH000001");
    EXPECT_EQ(items[0].status, 3);
    EXPECT_EQ(items[0].name, L"上证指数");
    EXPECT_EQ(items[0].priceText, L"3305.12");
    EXPECT_EQ(items[0].prevCloseText, L"3298.76");
    EXPECT_EQ(items[0].changeText, L"0.19%");
    EXPECT_EQ(items[0].direction, 1);
    EXPECT_EQ(Code(items[1].stock), "") << "a code too long for the record is left out";
    EXPECT_EQ(items[1].priceText, L"") << "a number is not a price text";
    EXPECT_EQ(items[1].direction, -1);
    EXPECT_EQ(items[2].changeText, L"0.00%");
    EXPECT_EQ(items[2].direction, 0);

    for (const char* odd : {R"({"Body":{"data":[]}})", R"({"Body":{"data":{}}})", R"({"Body":[1]})", R"({"Header":{}})",
                            R"([1,2])"}) {
        const Json::Value value = ParseJson(odd);
        EXPECT_TRUE(ZrQuotePriceMgr::ParseItems(&value).empty()) << odd;
    }
    EXPECT_TRUE(ZrQuotePriceMgr::ParseItems(nullptr).empty());
}

TEST(QuoteAnswers, MovementFieldsAndTheirPlausibilityRules)
{
    const Json::Value element = ParseJson(R"({"date":20240230,"time":93005,"marketid":1,"code":"600000",
        "oldmarketcode":"SH600000","displaycolor":2,"name":"浦发银行","price":"752","precise":2,"zdf":-215,
        "refmarketid":1,"refcode":"000001","refzdf":-12,"displaykey":"dive","typename":"高台跳水","displayrate":7})");
    const StockABItem item = ReadStockABItem(element);
    EXPECT_EQ(item.dateText, L"2024-02-30") << "only the month and day ranges are checked";
    EXPECT_EQ(item.timeText, L"09:30:05");
    EXPECT_EQ(Code(item.stock), "600000");
    EXPECT_EQ(item.priceText, L"7.52");
    EXPECT_EQ(item.changeText, L"-2.15%");
    EXPECT_EQ(item.direction, -1);
    EXPECT_EQ(Code(item.refStock), "000001");
    EXPECT_EQ(item.refChangeText, L"0.00%") << "read unsigned: a negative value gives 0";
    EXPECT_EQ(item.text, L"浦发银行高台跳水") << "without a text, name and type name";
    EXPECT_EQ(item.displayColor, 2);
    EXPECT_EQ(item.displayRate, 7);

    const struct {
        uint32_t date, time;
        const wchar_t* dateText;
        const wchar_t* timeText;
    } cases[] = {
        {18991231, 0, L"", L""}, {19000101, 235959, L"1900-01-01", L"23:59:59"}, {20241301, 240000, L"", L""},
        {20240100, 126000, L"", L""}, {20241231, 120060, L"2024-12-31", L""},
    };
    for (const auto& c : cases) {
        Json::Value e(Json::objectValue);
        e["date"] = c.date;
        e["time"] = c.time;
        const StockABItem parsed = ReadStockABItem(e);
        EXPECT_EQ(parsed.dateText, c.dateText) << c.date;
        EXPECT_EQ(parsed.timeText, c.timeText) << c.time;
    }
}

TEST(QuoteAnswers, MangledAnswersNeverStopTheReaders)
{
    // Answers as the service sends them, then mangled: members of every
    // type where a number or a text belongs, and cut or flipped bytes.
    const std::string quote = R"({"Header":{"No":7},"Body":{"data":[{"base":{"marketid":1,"code":"000001",)"
                              R"("oldmarketcode":"SH000001","status":0,"name":"上证指数","precise":2},)"
                              R"("newprice":"330512","yclose":"329876"}]}})";
    const std::string movement = R"({"date":20261211,"time":93005,"marketid":1,"code":"600000","name":"浦发银行",)"
                                 R"("price":"752","precise":2,"zdf":-215,"refzdf":12,"typename":"高台跳水"})";
    const char* replacements[] = {"null", "true", "-1", "4294967296", "1e308", "-9223372036854775809", "\"\"",
                                  "\"\\u0000\"", "[]", "{}", "[1,[2,[3]]]", "\"99999999999999999999999\""};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    size_t parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = round % 2 ? quote : movement;
        // Swap a value after some colon for another type.
        for (int k = 0; k < 3; ++k) {
            const size_t colon = text.find(':', next() % text.size());
            if (colon == std::string::npos)
                continue;
            const size_t end = text.find_first_of(",}", colon + 1);
            if (end == std::string::npos)
                continue;
            text.replace(colon + 1, end - colon - 1, replacements[next() % std::size(replacements)]);
        }
        if (round % 5 == 0)
            text.resize(next() % (text.size() + 1));
        if (round % 7 == 0 && !text.empty())
            text[next() % text.size()] = static_cast<char>(next());
        Json::Value value;
        if (!JsonRead::Parse(text, value))
            continue;
        ++parsed;
        (void)ZrQuotePriceMgr::ParseItems(&value);
        (void)ReadStockABItem(value);
    }
    EXPECT_GT(parsed, 1000u) << "most mangled answers still parse and reach the readers";
}

namespace {

// The managers against the sandbox's quote service, from the sample
// installation (whose watched stocks are sh600000, sz000001 and bj830799).
class QuoteServiceTest : public InstalledManagerTest {
protected:
    void SetUp() override
    {
        // Quiet unless a test asks: no streamed movements, empty snapshots.
        SandboxGet("/quote/control?action=tick&seconds=3600");
        SandboxGet("/quote/control?action=snapshot&count=0");
        InstalledManagerTest::SetUp();
    }
    void TearDown() override
    {
        InstalledManagerTest::TearDown();
        SandboxGet("/quote/control?action=tick&seconds=1");
        SandboxGet("/quote/control?action=snapshot&count=3");
    }

    // Waits for the manager's own movement subscription to reach the sandbox.
    ::testing::AssertionResult WaitForMovementSubscriptions(size_t count)
    {
        const bool reached = WaitFor([count] {
            size_t n = 0;
            const Json::Value state = SandboxGetJson("/quote/state");
            for (const Json::Value& c : state["connections"])
                for (const Json::Value& sub : c["subscriptions"])
                    n += sub["MsgType"].asString() == "1001";
            return n == count;
        });
        if (reached)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << SandboxGet("/quote/state").substr(0, 4000);
    }

    static std::string Movement(const char* code, int market, const char* type, int time)
    {
        return "{\"date\":20261211,\"time\":" + std::to_string(time) + ",\"marketid\":" + std::to_string(market)
               + ",\"code\":\"" + code + "\",\"name\":\"n" + code + "\",\"price\":\"752\",\"precise\":2,\"zdf\":120,"
               + "\"typename\":\"" + type + "\",\"displaykey\":\"k\"}";
    }

    static void Inject(const std::vector<std::string>& movements)
    {
        std::string data;
        for (const auto& m : movements)
            data += (data.empty() ? "" : ",") + m;
        SandboxPost("/quote/inject", "{\"msgtype\":\"1001\",\"data\":[" + data + "]}");
    }

    std::shared_ptr<StockABRequest> Subscriber(int32_t receiver, int32_t mode = kModeSubscribe)
    {
        auto request = std::make_shared<StockABRequest>();
        request->receiverId = receiver;
        request->context = 1;
        request->mode = mode;
        return request;
    }

    std::vector<std::shared_ptr<StockABResponse>> Movements(size_t count, std::chrono::milliseconds bound = 15s)
    {
        std::vector<std::shared_ptr<StockABResponse>> out;
        for (const auto& r : Responses(count, bound))
            if (auto m = std::dynamic_pointer_cast<StockABResponse>(r))
                out.push_back(m);
        return out;
    }
};

std::vector<std::wstring> Types(const StockABResponse& response)
{
    std::vector<std::wstring> types;
    for (const auto& item : response.items)
        types.push_back(item.typeName);
    return types;
}

} // namespace

TEST_F(QuoteServiceTest, SixIndicesStreamUntilUnsubscribed)
{
    SandboxGet("/quote/control?action=tick&seconds=0.2");
    auto request = std::make_shared<QuoteBriefRequest>();
    request->receiverId = 7;
    request->context = 1;
    request->mode = kModeSubscribe;
    for (const auto& [market, code] : std::vector<std::pair<uint8_t, const char*>>{
             {1, "000001"}, {0, "399001"}, {0, "399006"}, {1, "000688"}, {1, "000300"}, {1, "000016"}})
        request->stocks.push_back(Stock(market, code));
    ASSERT_TRUE(manager->Request(request, true));

    const auto responses = Responses(3);
    ASSERT_EQ(responses.size(), 3u);
    for (const auto& r : responses) {
        const auto quote = std::dynamic_pointer_cast<QuoteBriefResponse>(r);
        ASSERT_NE(quote, nullptr);
        EXPECT_EQ(quote->request, request);
        ASSERT_EQ(quote->items.size(), 6u);
        EXPECT_EQ(quote->items[0].name, L"上证指数");
        EXPECT_EQ(quote->items[5].name, L"上证50");
        EXPECT_NE(quote->items[2].priceText.find(L'.'), std::wstring::npos);
        EXPECT_EQ(quote->items[2].changeText.back(), L'%');
    }

    auto stop = std::make_shared<QuoteBriefRequest>(*request);
    stop->mode = kModeUnsubscribe;
    ASSERT_TRUE(manager->Request(stop, true));
    ASSERT_TRUE(WaitFor([] {
        const Json::Value state = SandboxGetJson("/quote/state");
        for (const Json::Value& c : state["connections"])
            for (const Json::Value& sub : c["subscriptions"])
                if (sub["MsgType"].asString() == "2001")
                    return false;
        return true;
    })) << "the removal frame reached the service";
    Responses(100, 600ms); // what was already on its way
    EXPECT_TRUE(Responses(1, 1s).empty());
}

TEST_F(QuoteServiceTest, MovementsAreDeduplicatedKeptFiveDeepAndReplayedToNewSubscribers)
{
    ASSERT_TRUE(manager->Request(Subscriber(1), true));
    ASSERT_TRUE(WaitForMovementSubscriptions(1));
    // The empty first snapshot, or the replay of the empty list when the
    // snapshot came before the subscriber.
    auto first = Movements(1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_NE(first[0]->firstSnapshot, first[0]->replay);
    EXPECT_TRUE(first[0]->items.empty());

    // Twice the same, and a stock outside the watch list.
    Inject({Movement("600000", 1, "A", 93000), Movement("600000", 1, "A", 93000), Movement("600519", 1, "X", 93000)});
    auto got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0]->firstSnapshot);
    EXPECT_EQ(Types(*got[0]), std::vector<std::wstring>{L"A"});

    Inject({Movement("600000", 1, "A", 93000), Movement("000001", 0, "B", 93001)});
    got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Types(*got[0]), std::vector<std::wstring>{L"B"}) << "A is still among the recent ones";

    Inject({Movement("600000", 1, "A", 93000)});
    EXPECT_TRUE(Movements(1, 1500ms).empty()) << "nothing new: nothing published";

    Inject({Movement("830799", 3, "C", 93002), Movement("830799", 3, "D", 93003), Movement("830799", 3, "E", 93004),
            Movement("830799", 3, "F", 93005)});
    got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Types(*got[0]), (std::vector<std::wstring>{L"C", L"D", L"E", L"F"}));

    ASSERT_TRUE(manager->Request(Subscriber(2), true));
    got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]->request->receiverId, 2);
    EXPECT_TRUE(got[0]->replay);
    EXPECT_FALSE(got[0]->firstSnapshot);
    EXPECT_EQ(Types(*got[0]), (std::vector<std::wstring>{L"B", L"C", L"D", L"E", L"F"})) << "the five most recent";

    // Both subscribers hear the next one; the one that left does not.
    ASSERT_TRUE(manager->Request(Subscriber(1, kModeUnsubscribe), true));
    Inject({Movement("600000", 1, "G", 93006)});
    got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]->request->receiverId, 2);
    EXPECT_TRUE(Movements(1, 1s).empty());
}

TEST_F(QuoteServiceTest, ReloadStartsANewListWithAFirstSnapshot)
{
    ASSERT_TRUE(manager->Request(Subscriber(1), true));
    ASSERT_TRUE(WaitForMovementSubscriptions(1));
    ASSERT_EQ(Movements(1).size(), 1u);
    Inject({Movement("600000", 1, "A", 93000)});
    ASSERT_EQ(Movements(1).size(), 1u);

    std::atomic<bool> reloaded{false};
    manager->Reload([&] { reloaded = true; });
    // Collects while waiting: WaitFor would drop what arrives meanwhile.
    auto got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0]->firstSnapshot) << "even without a new movement";
    EXPECT_TRUE(got[0]->items.empty());
    ASSERT_TRUE(WaitFor([&] { return reloaded.load(); }));
    ASSERT_TRUE(WaitForMovementSubscriptions(1)) << "the old subscription was removed, the new one kept";

    // The list started anew: A counts as new again.
    Inject({Movement("600000", 1, "A", 93000)});
    got = Movements(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Types(*got[0]), std::vector<std::wstring>{L"A"});
}
