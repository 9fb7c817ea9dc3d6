#include "platform/Win32.h"

#include "net/WeHttpService.h"
#include "platform/TextConv.h"
#include "tests/support/TempDir.h"

#include "tests/support/SandboxPorts.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

const char kTs[] = "1700000000000";

WeHttpStoreValues Identity()
{
    WeHttpStoreValues v;
    v.userName = "alice";
    v.token = "tok-1";
    v.serverId = "2002";
    v.clientType = "pc-test";
    v.appVersion = "1.2.3";
    v.softName = "VelTray";
    v.deviceId = "SN42";
    v.agent = "Windows 10";
    v.device = "DESK";
    v.sign = "sandbox-sign";
    v.signv1 = "sandbox-signv1";
    return v;
}

std::shared_ptr<ParamReqInfo> Request(int32_t signStyle, int32_t bodyStyle, ParamReqInfo::Pairs params)
{
    auto request = std::make_shared<ParamReqInfo>();
    request->signStyle = signStyle;
    request->bodyStyle = bodyStyle;
    request->params = std::move(params);
    return request;
}

// Header names of the lines, in order.
std::vector<std::string> Names(const std::vector<std::string>& lines)
{
    std::vector<std::string> names;
    for (const auto& line : lines)
        names.push_back(line.substr(0, line.find(':')));
    return names;
}

std::string Header(const std::vector<std::string>& lines, const std::string& name)
{
    for (const auto& line : lines)
        if (line.compare(0, name.size() + 2, name + ": ") == 0)
            return line.substr(name.size() + 2);
    return "<absent>";
}

const std::vector<std::string> kPublic = {"clientType", "appVersion", "softName", "deviceid", "agent", "device"};

std::vector<std::string> With(std::vector<std::string> head)
{
    head.insert(head.end(), kPublic.begin(), kPublic.end());
    return head;
}

} // namespace

TEST(WeHttpPure, PercentEncodesAsFormsDo)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a b&c", "a+b%26c"},
        {"AZaz09-_.~", "AZaz09-_.~"},
        {"/?=%+", "%2F%3F%3D%25%2B"},
        {"\xC3\xA9", "%C3%A9"},
        {std::string("\0x", 2), "%00x"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(WeHttp::PercentEncode(in), out) << in;
}

TEST(WeHttpPure, BuildsBodiesByStyle)
{
    struct Case {
        int32_t style;
        ParamReqInfo::Pairs params; // (value, name)
        std::string body;
    } cases[] = {
        {0, {{"1", "x"}}, "{\"x\":\"1\"}\n"},
        {1, {{"1", "x"}}, "{\"x\":1}"},
        {1, {{"true", "t"}, {"abc", "s"}, {"[1,2]", "a"}, {"{\"k\"", "o"}}, "{\"a\":[1,2],\"o\":\"{\\\"k\\\"\",\"s\":\"abc\",\"t\":true}"},
        // Members in byte order of their names; a repeated name keeps its last value.
        {1, {{"12abc", "n"}, {"1 // c", "c"}, {"", "e"}}, "{\"c\":\"1 // c\",\"e\":\"\",\"n\":\"12abc\"}"},
        {0, {{"1", "b"}, {"2", "a"}, {"3", "B"}, {"4", "a"}}, "{\"B\":\"3\",\"a\":\"4\",\"b\":\"1\"}\n"},
        {2, {{"2", "b"}, {"a b", "a"}}, "b=2&a=a b"},
        {2, {}, ""},
        {0, {}, "{}\n"},
        {3, {{"1", "x"}}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WeHttp::BuildBody(c.style, c.params), c.body) << "style " << c.style;
}

TEST(WeHttpPure, FullUrlJoinsTheQuery)
{
    const std::vector<std::pair<std::string, std::string>> ab = {{"a", "1"}, {"b", "2"}};
    const std::pair<std::string, std::string> cases[] = {
        {"http://h/p", "http://h/p?a=1&b=2"},
        {"http://h/p?", "http://h/p?a=1&b=2"},
        {"http://h/p?x=0", "http://h/p?x=0&a=1&b=2"},
        {"http://h/p?x=0&", "http://h/p?x=0&a=1&b=2"},
        {"", ""},
    };
    for (const auto& [url, full] : cases)
        EXPECT_EQ(WeHttp::FullUrl(url, ab), full) << url;
    EXPECT_EQ(WeHttp::FullUrl("http://h/p", {}), "http://h/p");
}

TEST(WeHttpPure, SigningStylesAddTheirHeadersAndSign)
{
    const WeHttpStoreValues values = Identity();
    const std::string sorted = "12"; // a=1, b=2 sorted by name
    struct Case {
        int32_t signStyle;
        bool post;
        std::vector<std::string> names;
        std::string signedText; // empty: no signature
    } cases[] = {
        {4, false, With({"Content-Type", "appcode", "token", "serverId", "username", "channel", "timestamp", "signature"}),
         values.sign + sorted + kTs},
        {1, false, With({"Content-Type", "appcode", "token", "serverId", "timestamp", "signature"}), values.sign + sorted + kTs},
        {2, false, With({"Content-Type", "appcode", "token", "serverId", "timestamp", "signature"}),
         values.signv1 + sorted + kTs},
        {3, false, With({"Content-Type"}), ""},
        {3, true, With({"Content-Type", "appcode", "token", "serverId", "timestamp", "signature"}),
         values.signv1 + "b=2&a=1" + kTs},
        {6, false, With({"Content-Type", "charset", "Content-Md5"}), ""},
        {0, false, With({"Content-Type"}), ""},
        {5, true, With({"Content-Type"}), ""},
    };
    for (const auto& c : cases) {
        auto request = Request(c.signStyle, 2, {{"2", "b"}, {"1", "a"}});
        request->tag = "md5tag";
        const WeHttpPrepared prepared = WeHttp::Prepare(*request, c.post, values, kTs);
        SCOPED_TRACE("style " + std::to_string(c.signStyle) + (c.post ? " POST" : " GET"));
        EXPECT_EQ(Names(prepared.headerLines), c.names);
        if (!c.signedText.empty()) {
            EXPECT_EQ(Header(prepared.headerLines, "signature"), WeHttp::Md5Hex(c.signedText));
            EXPECT_EQ(Header(prepared.headerLines, "appcode"), "com.tmkw.corvid");
            EXPECT_EQ(Header(prepared.headerLines, "timestamp"), kTs);
        }
        if (c.signStyle == 6) {
            EXPECT_EQ(Header(prepared.headerLines, "Content-Md5"), "md5tag");
        }
    }
}

TEST(WeHttpPure, SigningSortsTheQueryAndTheFormBodyIsBuiltFirst)
{
    const WeHttpStoreValues values = Identity();
    auto get4 = Request(4, 0, {{"2", "b"}, {"1", "a"}});
    EXPECT_EQ(WeHttp::Prepare(*get4, false, values, kTs).params,
              (std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"b", "2"}}));
    auto get0 = Request(0, 0, {{"2", "b"}, {"1", "a"}});
    EXPECT_EQ(WeHttp::Prepare(*get0, false, values, kTs).params,
              (std::vector<std::pair<std::string, std::string>>{{"b", "2"}, {"a", "1"}}));

    auto post = Request(4, 2, {{"2", "b"}, {"1", "a"}});
    const WeHttpPrepared prepared = WeHttp::Prepare(*post, true, values, kTs);
    EXPECT_EQ(prepared.body, "b=2&a=1");
    EXPECT_EQ(post->body, "b=2&a=1");
    EXPECT_EQ(Header(prepared.headerLines, "signature"), WeHttp::Md5Hex(values.sign + "12" + kTs));
    EXPECT_TRUE(prepared.params.empty()); // POST sends no query
}

TEST(WeHttpPure, GivenBodyIsKeptAndEmptyValuesLeaveTheirHeaderOut)
{
    WeHttpStoreValues values = Identity();
    values.token.clear();
    values.agent.clear();
    const std::pair<int32_t, std::string> contentTypes[] = {
        {0, "application/json"}, {1, "<absent>"}, {2, "application/x-www-form-urlencoded"}};
    for (const auto& [style, contentType] : contentTypes) {
        auto request = Request(4, style, {{"1", "x"}});
        request->body = "given";
        const WeHttpPrepared prepared = WeHttp::Prepare(*request, true, values, kTs);
        EXPECT_EQ(prepared.body, "given") << style;
        EXPECT_EQ(Header(prepared.headerLines, "Content-Type"), contentType) << style;
        EXPECT_EQ(Header(prepared.headerLines, "token"), "<absent>");
        EXPECT_EQ(Header(prepared.headerLines, "agent"), "<absent>");
        EXPECT_NE(Header(prepared.headerLines, "signature"), "<absent>");
    }
}

TEST(WeHttpPure, HeaderValuesEndAtALineBreak)
{
    const std::pair<std::string, std::string> cases[] = {
        {"tok\r\nX-Evil: 1", "t: tok"}, {"tok\n", "t: tok"}, {std::string(400, 'v'), "t: " + std::string(400, 'v')}};
    for (const auto& [value, line] : cases)
        EXPECT_EQ(WeHttp::HeaderLine("t", value), line);
}

TEST(WeHttpPure, EncodesParamsOnlyWhenAsked)
{
    for (const bool encode : {true, false}) {
        auto request = Request(0, 0, {{"a b&c", "k"}});
        request->encodeParams = encode;
        const auto params = WeHttp::Prepare(*request, false, Identity(), kTs).params;
        ASSERT_EQ(params.size(), 1u);
        EXPECT_EQ(params[0].second, encode ? "a+b%26c" : "a b&c");
    }
}

TEST(WeHttpPure, Base64AndGuid)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4="}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(base64Encode(in), out);

    const std::string a = newGuidString(), b = newGuidString();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
        << a;
    EXPECT_NE(a, b);
}

namespace {


std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WeHttpServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ports = ReadSandboxPorts();
        port = ports["port"];
        ASSERT_NE(port, 0) << "sandbox port file missing (VELTRAY_SANDBOX_PORT_FILE)";
        ASSERT_TRUE(::CreateDirectoryW(dir.Join(L"Data").c_str(), nullptr));
        values = Identity();
        config["svc"]["echo"] = Url("/http/echo");
        WeHttpStore store;
        store.lookup = [this](const std::string& section, const std::string& key) {
            auto s = config.find(section);
            if (s == config.end())
                return std::string();
            auto k = s->second.find(key);
            return k == s->second.end() ? std::string() : k->second;
        };
        store.values = [this] { return values; };
        store.baseDirectory = dir.Path();
        service = std::make_unique<WeHttpService>(store);
    }

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

    // Runs the call and returns the answer the callback got, parsed.
    Json::Value Call(const std::shared_ptr<ParamReqInfo>& request, bool post)
    {
        std::string answer;
        bool called = false;
        request->onResponse = [&](const std::shared_ptr<ParamReqInfo>&, const char* body, uint32_t length) {
            called = true;
            answer.assign(body ? body : "", length);
        };
        EXPECT_TRUE(post ? service->post(request) : service->get(request));
        EXPECT_TRUE(called);
        Json::Value parsed;
        Json::Reader().parse(answer, parsed);
        return parsed;
    }

    static std::string Sent(const Json::Value& answer, const std::string& name)
    {
        for (const auto& pair : answer["headers"])
            if (pair[0].asString() == name)
                return pair[1].asString();
        return "<absent>";
    }

    std::map<std::string, int> ports;
    int port = 0;
    TempDir dir;
    WeHttpStoreValues values;
    std::map<std::string, std::map<std::string, std::string>> config;
    std::unique_ptr<WeHttpService> service;
};

} // namespace

TEST_F(WeHttpServiceTest, SignedGetIsAcceptedWithSortedEncodedQuery)
{
    values.token = std::string(400, 't');
    auto request = Request(4, 0, {{"2", "b"}, {"x y&z", "a"}});
    request->url = Url("/http/signed/4");
    request->headers = {{"v1", "X-Caller"}};
    const Json::Value answer = Call(request, false);
    EXPECT_EQ(answer["expected"].asString(), Sent(answer, "signature"));
    EXPECT_EQ(answer["query"].asString(), "a=x+y%26z&b=2");
    EXPECT_EQ(Sent(answer, "X-Caller"), "v1");
    EXPECT_EQ(Sent(answer, "deviceid"), "SN42");
    EXPECT_EQ(Sent(answer, "token"), values.token) << "a long token arrives whole";
    EXPECT_EQ(Sent(answer, "Content-Type"), "application/json");
    const std::string ts = Sent(answer, "timestamp");
    ASSERT_GE(ts.size(), 4u);
    EXPECT_EQ(ts.substr(ts.size() - 3), "000");
}

TEST_F(WeHttpServiceTest, SignedPostsAreAcceptedForEveryBodyStyle)
{
    struct Case {
        int32_t signStyle, bodyStyle;
        std::string body, contentType;
    } cases[] = {
        {4, 2, "b=2&a=1", "application/x-www-form-urlencoded"},
        {1, 0, "{\"a\":\"1\",\"b\":\"2\"}\n", "application/json"},
        {2, 1, "{\"a\":1,\"b\":2}", "<absent>"},
        {3, 0, "{\"a\":\"1\",\"b\":\"2\"}\n", "application/json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("sign " + std::to_string(c.signStyle) + " body " + std::to_string(c.bodyStyle));
        auto request = Request(c.signStyle, c.bodyStyle, {{"2", "b"}, {"1", "a"}});
        request->url = Url("/http/signed/" + std::to_string(c.signStyle));
        request->headers = {{"v1", "X-Caller"}};
        const Json::Value answer = Call(request, true);
        EXPECT_EQ(answer["method"].asString(), "POST");
        EXPECT_EQ(answer["body"].asString(), c.body);
        EXPECT_EQ(answer["expected"].asString(), Sent(answer, "signature"));
        EXPECT_EQ(Sent(answer, "X-Caller"), "v1");
        if (c.contentType != "<absent>") {
            EXPECT_EQ(Sent(answer, "Content-Type"), c.contentType);
        }
    }
}

TEST_F(WeHttpServiceTest, WrongSecretIsRefusedButTheBodyStillArrives)
{
    values.sign = "not-the-secret";
    auto request = Request(4, 0, {{"1", "a"}});
    request->url = Url("/http/signed/4");
    const Json::Value answer = Call(request, false);
    EXPECT_NE(answer["expected"].asString(), Sent(answer, "signature"));
    EXPECT_EQ(answer["path"].asString(), "/http/signed/4");
}

TEST_F(WeHttpServiceTest, UrlComesFromTheConfigurationAndIsStoredBack)
{
    auto request = Request(0, 0, {});
    request->section = "svc";
    request->key = "echo";
    EXPECT_EQ(Call(request, false)["path"].asString(), "/http/echo");
    EXPECT_EQ(request->url, Url("/http/echo"));

    auto missing = Request(0, 0, {});
    missing->section = "svc";
    missing->key = "nothing";
    EXPECT_TRUE(Call(missing, false).isNull()); // empty body, callback still called
    EXPECT_FALSE(service->get(nullptr));
    EXPECT_FALSE(service->post(nullptr));
}

TEST_F(WeHttpServiceTest, DownloadReplacesTheTargetOnlyOnSuccess)
{
    const std::wstring target = dir.Join(L"got.bin");
    { std::ofstream(std::filesystem::path(target), std::ios::binary) << "old"; }
    auto request = Request(0, 0, {});

    request->url = Url("/http/status/404");
    request->body = WideToUtf8(target);
    EXPECT_FALSE(service->download(request));
    EXPECT_EQ(ReadAll(target), "old");

    request->url = Url("/http/file?size=100000");
    EXPECT_TRUE(service->download(request));
    const std::string got = ReadAll(target);
    ASSERT_EQ(got.size(), 100000u);
    for (size_t i : {size_t(0), size_t(1), size_t(99999)})
        EXPECT_EQ(static_cast<unsigned char>(got[i]), (i * 7 + 3) % 251) << i;

    // No temporary file stays behind, whatever the outcome.
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(service->DownloadDirectory())));

    auto noTarget = Request(0, 0, {});
    noTarget->url = Url("/http/file?size=1");
    EXPECT_FALSE(service->download(noTarget));
    EXPECT_FALSE(service->download(nullptr));
}

TEST_F(WeHttpServiceTest, DownloadIntoAMissingFolderFailsAndLeavesNoTemporaryFile)
{
    auto request = Request(0, 0, {});
    request->url = Url("/http/file?size=10");
    request->body = WideToUtf8(dir.Join(L"no-such-folder\\got.bin"));
    EXPECT_FALSE(service->download(request));
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(service->DownloadDirectory())));
}

TEST_F(WeHttpServiceTest, ProxySettingsOfTheStoreCarryTheRequest)
{
    ASSERT_NE(ports["proxy_port"], 0);
    ASSERT_NE(ports["tls_port"], 0);
    const std::string target = "127.0.0.1:" + std::to_string(ports["tls_port"]);
    struct Case {
        const char* password;
        bool through;
    } cases[] = {{"pr0xy:secret", true}, {"wrong", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        auto proxy = std::make_shared<ZrProxyData>();
        std::snprintf(proxy->Domain, sizeof proxy->Domain, "127.0.0.1");
        proxy->Port = ports["proxy_port"];
        std::snprintf(proxy->UserName, sizeof proxy->UserName, "veltray-proxy");
        std::snprintf(proxy->Password, sizeof proxy->Password, "%s", c.password);
        proxy->ProxyType = 1;
        values.proxy = proxy;
        auto request = Request(0, 0, {});
        request->url = "https://" + target + "/http/echo";
        const Json::Value answer = Call(request, false);
        EXPECT_EQ(answer["path"].asString(), c.through ? "/http/echo" : "");
    }
    // The tunnel the proxy opened, seen from the sandbox's side.
    values.proxy.reset();
    auto records = Request(0, 0, {});
    records->url = Url("/http/records");
    const Json::Value all = Call(records, false);
    bool tunnelled = false;
    for (const auto& record : all)
        tunnelled |= record.isArray() && record[0].asString() == "proxy" && record[1].asString() == target;
    EXPECT_TRUE(tunnelled);
}
