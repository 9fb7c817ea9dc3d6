#include "platform/Win32.h"

#include "business/ConfigFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <fstream>

using namespace ConfigFiles;

namespace {

void WriteText(const std::wstring& path, const std::string& text)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
}

DomainConfig ParseDomains(const std::string& xml)
{
    pugi::xml_document document;
    EXPECT_TRUE(ParseXml(xml, true, document));
    return ReadDomainConfig(document);
}

} // namespace

TEST(ConfigFiles, ChannelRewriting)
{
    const DomainConfig domains = ParseDomains(R"(<?xml version="1.0" encoding="utf-8"?>
<ROOT>
  <channellist><item type="0">one</item><item type="0">two</item><item type="1">direct</item></channellist>
  <domain_list>
    <url key="api.vendor.cn"><channel val="api0.alt.cn"/><channel val="api1.alt.cn"/><channel val="api2.alt.cn"/></url>
    <url key="api.vendor.cn:8443"><channel val="p0.alt.cn"/><channel val="p1.alt.cn"/></url>
    <url key="ws.vendor.cn"><channel val="ws0.alt.cn"/></url>
  </domain_list>
</ROOT>)");
    ASSERT_EQ(domains.channels.size(), 3u);
    EXPECT_EQ(domains.channels[2].type, 1);

    struct Case {
        int32_t channel;
        std::string value;
        std::string expected;
    } cases[] = {
        {1, "https://api.vendor.cn/user/info", "https://api1.alt.cn/user/info"},
        {1, "http://api.vendor.cn/x?y=1", "http://api1.alt.cn/x?y=1"},
        {1, "api.vendor.cn/plain", "api1.alt.cn/plain"},  // a host without scheme is rewritten too
        {1, "https://other.cn/api.vendor.cn", "https://other.cn/api.vendor.cn"},
        {1, "wss://ws.vendor.cn/quote", "wss://ws.vendor.cn/quote"}, // no prefix matches "wss://"
        // Keys in ascending byte order: "api.vendor.cn" comes before "api.vendor.cn:8443".
        {1, "https://api.vendor.cn:8443/a", "https://api1.alt.cn:8443/a"},
        {0, "https://ws.vendor.cn/q", "https://ws0.alt.cn/q"},
        {1, "https://ws.vendor.cn/q", "https://ws.vendor.cn/q"}, // that key has no host for channel 1
        {2, "https://api.vendor.cn/user/info", "https://api.vendor.cn/user/info"}, // type 1: nothing changes
        {7, "https://api.vendor.cn/user/info", "https://api.vendor.cn/user/info"}, // beyond the lists
        {-1, "https://api.vendor.cn/user/info", "https://api.vendor.cn/user/info"},
        {1, "plain secret", "plain secret"},
    };
    for (const Case& c : cases) {
        Configuration configuration{{"s", {{"k", c.value}}}};
        RewriteConfiguration(configuration, domains, c.channel);
        EXPECT_EQ(configuration["s"]["k"], c.expected) << c.channel << " " << c.value;
    }
}

TEST(ConfigFiles, ChannelListDefaultsAndHostLists)
{
    const DomainConfig empty = ParseDomains("<ROOT><channellist/><domain_list/></ROOT>");
    ASSERT_EQ(empty.channels.size(), 2u);
    EXPECT_EQ(empty.channels[0].name, "登录通道一");
    EXPECT_EQ(empty.channels[1].name, "登录通道二");
    EXPECT_EQ(empty.channels[0].type, 0);

    pugi::xml_document none;
    EXPECT_FALSE(ReadDomainConfig(none).read);
    EXPECT_TRUE(ReadDomainConfig(none).channels.empty());
}

TEST(ConfigFiles, UrlCoreMergesDuplicates)
{
    pugi::xml_document document;
    ASSERT_TRUE(ParseXml(R"(<root>
  <common><serverid>1</serverid><clienttype>pc</clienttype><serverid>2</serverid></common>
  <live><schedule>http://a/</schedule></live>
  <common><extra>x</extra><clienttype></clienttype></common>
  <!-- comment --><?pi ignored?>
  <jumppage><yd><![CDATA[gw://x?a=1&b=%s]]></yd><amp>a&amp;b</amp></jumppage>
</root>)",
                         true, document));
    Configuration configuration = ReadUrlCore(document);
    EXPECT_EQ(configuration["common"]["serverid"], "2");
    EXPECT_EQ(configuration["common"]["extra"], "x");
    EXPECT_EQ(configuration["common"]["clienttype"], "") << "the last text wins, even an empty one";
    EXPECT_EQ(configuration["live"]["schedule"], "http://a/");
    EXPECT_EQ(configuration["jumppage"]["yd"], "gw://x?a=1&b=%s");
    EXPECT_EQ(configuration["jumppage"]["amp"], "a&b");
    EXPECT_EQ(configuration.size(), 3u);
}

TEST(ConfigFiles, MarketTable)
{
    pugi::xml_document document;
    ASSERT_TRUE(ParseXml(R"(<root><marketdef>
  <market id="1" code="SH"/><market id="abc" code="XX"/><market id="" code="EMPTY"/>
  <market id="5" code=""/><market id="7" code="SH"/><market id="12x" code="AH"/>
  <market id="99999999999" code="BIG"/>
</marketdef></root>)",
                         true, document));
    const MarketTable markets = ReadMarkets(document);
    EXPECT_EQ(markets.at("SH"), 7);
    EXPECT_EQ(markets.at("XX"), 0);
    EXPECT_EQ(markets.at("AH"), 12);
    EXPECT_EQ(markets.at("BIG"), INT32_MAX);
    EXPECT_EQ(markets.count("EMPTY"), 0u);
    EXPECT_EQ(markets.size(), 4u);
}

TEST(ConfigFiles, PageTemplates)
{
    struct Case {
        std::string format;
        std::vector<std::string> texts;
        std::string expected;
    } cases[] = {
        {"gw://page?a=1", {}, "gw://page?a=1"},
        {"100%% sure", {}, "100% sure"},
        {"room=%s", {"88"}, "room=88"},
        {"room=%s&period=%s", {"88", "9"}, "room=88&period=9"},
        {"room=%s", {"88", "unused"}, "room=88"},
        {"room=%s&period=%s", {"88"}, ""},  // more "%s" than texts
        {"n=%d", {"1"}, ""},                // other conversions are refused
        {"%n", {}, ""},
        {"%5s", {"x"}, ""},
        {"tail%", {}, ""},
        {"%s", {std::string(100000, 'z')}, std::string(100000, 'z')}, // any length
        {"50%%=%s", {"%s"}, "50%=%s"},      // texts are not formats
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatTemplate(c.format, c.texts), c.expected) << c.format;
}

TEST(ConfigFiles, HostileXmlIsRefusedOrHarmless)
{
    pugi::xml_document document;
    // Entity declarations are not expanded: no growth, no outside files.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE root [<!ENTITY a \"aaaaaaaaaa\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY a" + std::to_string(i) + " \"&a" + std::to_string(i - 1) + ";&a" + std::to_string(i - 1) + ";\">";
    laughs += "<!ENTITY ext SYSTEM \"file:///c:/windows/win.ini\">]><root><common><serverid>&a9;&ext;</serverid></common></root>";
    if (ParseXml(laughs, true, document)) {
        EXPECT_LT(ReadUrlCore(document)["common"]["serverid"].size(), 64u);
    }

    const std::string bad[] = {
        "", "<root>", "<root><a></b></root>", "not xml at all", std::string("<root>\0</root>", 14),
    };
    for (const std::string& xml : bad) {
        pugi::xml_document doc;
        EXPECT_FALSE(ParseXml(xml, true, doc) && doc.child("root").first_child()) << xml;
    }

    // Deep nesting parses without recursion trouble and yields nothing odd.
    std::string deep = "<root>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    deep += "</root>";
    pugi::xml_document deepDoc;
    if (ParseXml(deep, true, deepDoc)) {
        EXPECT_EQ(ReadUrlCore(deepDoc)["a"].size(), 1u);
    }
}

TEST(ConfigFiles, EncodingOfPlainFiles)
{
    TempDir dir;
    // "中文" in code page 936 (GBK) and in UTF-8.
    WriteText(dir.Join(L"gbk.xml"), "<?xml version=\"1.0\" encoding=\"GB2312\"?><root><s><k>\xd6\xd0\xce\xc4</k></s></root>");
    WriteText(dir.Join(L"utf8.xml"), "\xEF\xBB\xBF<root><s><k>\xe4\xb8\xad\xe6\x96\x87</k></s></root>");
    const std::u16string wide = u"<root><s><k>中文</k></s></root>";
    std::string utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    WriteText(dir.Join(L"utf16.xml"), utf16);

    for (const wchar_t* name : {L"gbk.xml", L"utf8.xml", L"utf16.xml"}) {
        pugi::xml_document document;
        ASSERT_TRUE(LoadXml(dir.Join(name), document));
        EXPECT_EQ(ReadUrlCore(document)["s"]["k"], "中文");
    }
    pugi::xml_document document;
    EXPECT_FALSE(LoadXml(dir.Join(L"missing.xml"), document));
    // A ".vqx" that is not protected is not read as plain XML.
    WriteText(dir.Join(L"fake.xml.vqx"), "<root><s><k>v</k></s></root>");
    EXPECT_FALSE(LoadXml(dir.Join(L"fake.xml"), document));
}
