#include "business/DataCoreRequest.h"
#include "platform/JsonRead.h"
#include "business/ParamReqInfo.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <climits>

TEST(RequestRecords, DerivedRequestsCarryTheirTypeAndDefaults)
{
    EXPECT_EQ(DataCoreRequest().type, 60000);
    EXPECT_EQ(DataCoreRequest().mode, kModeSingle);
    EXPECT_EQ(QuoteBriefRequest().type, 60001);
    StockABRequest ab;
    EXPECT_EQ(ab.type, 60002);
    EXPECT_EQ(ab.first, 0);
    EXPECT_EQ(ab.second, 1);
    EXPECT_EQ(InfomationRequest().type, 60003);
    EXPECT_EQ(CommonFileDownloadRequest().type, 60004);
    EXPECT_EQ(LiveScheduleRequest().type, 60006);
    CommonJumpPageRequest jump;
    EXPECT_EQ(jump.type, 60007);
    EXPECT_FALSE(jump.launchOnly);
    ParamReqInfo info;
    EXPECT_TRUE(info.encodeParams);
    EXPECT_EQ(info.signStyle, 4);
    EXPECT_EQ(info.bodyStyle, 0);
}

TEST(RequestRecords, RequestKeyDigest)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");

    ParamReqInfo withoutOrigin;
    withoutOrigin.MakeRequestKey("2001");
    EXPECT_EQ(withoutOrigin.tag, "349f6241f15d11a72e90bc7fcd677424"); // "0:0:0:2001"

    struct Case {
        int32_t receiverId, receiverTag;
        int64_t context;
        const char* type;
        const char* digest;
    } cases[] = {
        {3, 1, 4294967297LL, "2001", "77e1aa57b2ae040f44e9437108458fea"}, // all 64 bits of context
        {-1, 2, -5, "1001", "d9d3e1873174550421b58ce528755124"},
        {0, 0, 0, "2001", "349f6241f15d11a72e90bc7fcd677424"},
    };
    for (const Case& c : cases) {
        auto request = std::make_shared<QuoteBriefRequest>();
        request->receiverId = c.receiverId;
        request->receiverTag = c.receiverTag;
        request->context = c.context;
        ParamReqInfo a, b;
        a.origin = request;
        a.MakeRequestKey(c.type);
        EXPECT_EQ(a.tag, c.digest);
        // Another request with the same receiver, tag, context and type.
        auto twin = std::make_shared<StockABRequest>();
        twin->receiverId = c.receiverId;
        twin->receiverTag = c.receiverTag;
        twin->context = c.context;
        b.origin = twin;
        b.MakeRequestKey(c.type);
        EXPECT_EQ(a.tag, b.tag);
    }
}

TEST(JsonRead, LenientMembers)
{
    Json::Value root;
    ASSERT_TRUE(JsonRead::Parse(R"({"s":"text","cn":"中文","n":42,"neg":-7,"big":5000000000,"real":2.75,)"
                                R"("t":true,"f":false,"null":null,"arr":[1],"obj":{"a":1},"numtext":"12"})",
                                root));
    struct Case {
        const char* name;
        std::string text;
        int32_t i;
        uint32_t u;
        int64_t i64;
        double d;
        bool b;
    } cases[] = {
        {"s", "text", 0, 0, 0, 0.0, false},
        {"n", "", 42, 42, 42, 42.0, false},
        {"neg", "", -7, 0, -7, -7.0, false},       // unsigned conversion fails: default
        {"big", "", 0, 0, 5000000000LL, 5e9, false}, // beyond 32 bits: default
        {"real", "", 2, 2, 2, 2.75, false},
        {"t", "", 1, 1, 1, 1.0, true},
        {"f", "", 0, 0, 0, 0.0, false},
        {"null", "", 0, 0, 0, 0.0, false},
        {"arr", "", 0, 0, 0, 0.0, false},
        {"obj", "", 0, 0, 0, 0.0, false},
        {"numtext", "12", 0, 0, 0, 0.0, false}, // a string never counts as a number
        {"missing", "", 0, 0, 0, 0.0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonRead::Text(root, c.name), c.text) << c.name;
        EXPECT_EQ(JsonRead::Int(root, c.name), c.i) << c.name;
        EXPECT_EQ(JsonRead::UInt(root, c.name), c.u) << c.name;
        EXPECT_EQ(JsonRead::Int64(root, c.name), c.i64) << c.name;
        EXPECT_DOUBLE_EQ(JsonRead::Double(root, c.name), c.d) << c.name;
        EXPECT_EQ(JsonRead::Bool(root, c.name), c.b) << c.name;
    }
    EXPECT_EQ(JsonRead::WideText(root, "cn"), L"中文");
    EXPECT_EQ(JsonRead::Int(root, "missing", -1), -1);
    EXPECT_EQ(JsonRead::Int(root, "null", -1), -1);

    // A parent that is not an object has no members.
    for (const Json::Value& parent : {Json::Value(), Json::Value(3), Json::Value("x"), Json::Value(Json::arrayValue)}) {
        EXPECT_EQ(JsonRead::Text(parent, "s"), "");
        EXPECT_EQ(JsonRead::Int(parent, "n", 9), 9);
        EXPECT_FALSE(JsonRead::Bool(parent, "t"));
    }
}

TEST(JsonRead, ParseRefusesWhatIsNotJson)
{
    Json::Value value;
    const std::string cases[] = {
        "", "{", "{\"a\":}", "// comment\n", "[1,2", std::string(100000, '['), "\xff\xfe{}",
    };
    for (const std::string& text : cases)
        EXPECT_FALSE(JsonRead::Parse(text, value)) << text.substr(0, 20);
    EXPECT_TRUE(JsonRead::Parse("[1,2]", value));
    EXPECT_TRUE(value.isArray());
}
