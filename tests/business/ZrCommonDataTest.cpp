#include "platform/Win32.h"

#include "business/ZrCommonData.h"
#include "platform/TextConv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

// Installations made by the install fixture (tools/install/make_install.py)
// from tests/business/fixtures/store.json: "plain", "chacha" and "legacy".
std::wstring FixtureInstall(const wchar_t* name)
{
    const char* root = std::getenv("VELTRAY_TEST_INSTALLS");
    if (!root || !*root)
        return {};
    return Utf8ToWide(root) + L"\\" + name;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t current[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, current);
        m_cwd = current;
    }
    // Load moves the process into the installation; move back so that the
    // temporary folders can be removed.
    void TearDown() override { ::SetCurrentDirectoryW(m_cwd.c_str()); }

    std::wstring m_cwd;
};

std::string SetIni(const std::wstring& base)
{
    std::ifstream in(std::filesystem::path(base + L"\\Data\\Common\\set.ini"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST_F(StoreTest, LoadsTheSampleInstallation)
{
    const std::wstring base = FixtureInstall(L"plain");
    if (base.empty())
        GTEST_SKIP() << "run through CTest, which makes the installations";
    ZrCommonData store;
    store.SetBaseDirectory(base);
    store.Load();

    EXPECT_EQ(store.ServerId(), "2002");
    EXPECT_EQ(store.ClientType(), "pc-test");
    EXPECT_EQ(store.LoginChannel(), 1);
    // Channel 1 rewrites every configured host that has a second alternative.
    EXPECT_EQ(store.Lookup("userinfo", "token"), "https://api1.alt.test/user/info");
    EXPECT_EQ(store.Lookup("quotecore", "wss"), "wss://quote.vendor.test/ws");
    EXPECT_EQ(store.Lookup("live", "schedule"), "http://api1.alt.test:8080/live");
    EXPECT_EQ(store.Lookup("stat", "url"), "other.test/stat");
    EXPECT_EQ(store.Lookup("quotecore", "auth"), "{\"a\":1}");
    EXPECT_EQ(store.Lookup("urldata", "missing"), "");
    EXPECT_EQ(store.Lookup("missing", "token"), "");

    EXPECT_EQ(store.JumpUrl("live", "88"), "https://page.vendor.test/live?room=88");
    EXPECT_EQ(store.JumpUrl("liveperiod", "88", "3"), "https://page.vendor.test/l?r=88&p=3");
    EXPECT_EQ(store.JumpUrl("liveperiod", "88"), "");
    EXPECT_EQ(store.JumpUrl("pct"), "100%");
    EXPECT_EQ(store.JumpUrl("bad", "1"), "");
    EXPECT_EQ(store.JumpUrl("absent"), "");

    int32_t id = -1;
    ASSERT_TRUE(store.MarketId("ZZ", id));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(store.Markets().size(), 3u);

    EXPECT_EQ(store.Nickname(), L"测试用户");
    EXPECT_EQ(store.Org(), L"组织");
    EXPECT_EQ(store.UserName(), "tester");
    EXPECT_EQ(store.Token(), "tok-123");
    EXPECT_EQ(store.AppVersion(), "5.2.1");
    EXPECT_EQ(store.SoftName(), "VelStation");
    EXPECT_EQ(store.DistinctId(), "dist-1");
    EXPECT_EQ(store.Project(), "proj");
    EXPECT_EQ(store.Sid(), "sid-1");
    EXPECT_EQ(store.Reffer(), "ref");
    EXPECT_EQ(store.Bid(), "b9");
    EXPECT_FALSE(store.Device().empty());
    EXPECT_FALSE(store.Agent().empty());

    auto proxy = store.Proxy();
    ASSERT_TRUE(proxy);
    EXPECT_STREQ(proxy->Domain, "proxy.example.i");
    EXPECT_EQ(proxy->Port, 3128);
    EXPECT_EQ(proxy->ProxyType, 1);

    auto stocks = store.SectorStocks();
    ASSERT_TRUE(stocks);
    struct Expected {
        uint8_t market;
        const char* code;
    } expected[] = {{1, "600000"}, {0, "000001"}, {3, "830799"}, {12, "BK0001"}, {1, "1234567890123456789012345678901"}};
    ASSERT_EQ(stocks->size(), std::size(expected));
    for (size_t i = 0; i < stocks->size(); ++i) {
        EXPECT_EQ((*stocks)[i].market, expected[i].market);
        EXPECT_STREQ((*stocks)[i].code, expected[i].code);
    }
    EXPECT_NE(SetIni(base).find("CurDoMainChannelNo=1"), std::string::npos);
}

TEST_F(StoreTest, ProtectedConfigurationGivesTheSameValues)
{
    const std::wstring plainBase = FixtureInstall(L"plain");
    if (plainBase.empty())
        GTEST_SKIP() << "run through CTest, which makes the installations";
    ZrCommonData plain;
    plain.SetBaseDirectory(plainBase);
    plain.Load();
    ASSERT_FALSE(plain.Configuration().empty());
    for (const wchar_t* name : {L"chacha", L"legacy"}) {
        const std::wstring base = FixtureInstall(name);
        ASSERT_EQ(::GetFileAttributesW((base + L"\\Config\\urlcore.xml").c_str()), INVALID_FILE_ATTRIBUTES);
        ZrCommonData store;
        store.SetBaseDirectory(base);
        store.Load();
        EXPECT_EQ(store.Configuration(), plain.Configuration()) << WideToUtf8(name);
        EXPECT_EQ(store.Markets(), plain.Markets());
        ASSERT_EQ(store.LoginChannels().size(), plain.LoginChannels().size());
        EXPECT_EQ(store.LoginChannel(), plain.LoginChannel());
    }
}

TEST_F(StoreTest, EmptyInstallationGivesEmptyValues)
{
    TempDir dir;
    ZrCommonData store;
    store.SetBaseDirectory(dir.Path());
    store.Load();
    EXPECT_TRUE(store.Configuration().empty());
    EXPECT_TRUE(store.Markets().empty());
    EXPECT_EQ(store.ServerId(), "");
    EXPECT_EQ(store.UserName(), "");
    EXPECT_EQ(store.Nickname(), L"");
    EXPECT_FALSE(store.SectorStocks()) << "no self-selected file: no sector stocks";
    ASSERT_TRUE(store.Proxy());
    EXPECT_EQ(store.Proxy()->ProxyType, 0);
    EXPECT_EQ(store.LoginChannel(), 0);
    EXPECT_TRUE(store.LoginChannels().empty());
    // Selecting channel 0 creates set.ini.
    EXPECT_NE(SetIni(dir.Path()).find("CurDoMainChannelNo=0"), std::string::npos);
}

TEST_F(StoreTest, Settings)
{
    TempDir dir;
    ZrCommonData store;
    store.SetBaseDirectory(dir.Path());
    store.Load(); // moves into dir; set.ini lives below the current directory

    struct Case {
        std::string value;
        bool ok;
    } cases[] = {
        {"7", true}, {"", true}, {std::string(253, 'v'), true}, {std::string(254, 'v'), false},
        {std::string(600, 'v'), false}, {"https://h/p?q=1", true},
    };
    for (const Case& c : cases) {
        store.WriteSetting("Domain", "Key", c.value);
        std::string read = "unchanged";
        EXPECT_EQ(store.ReadSetting("Domain", "Key", read), c.ok) << c.value.size();
        if (c.ok) {
            EXPECT_EQ(read, c.value);
        }
    }

    // An over-long channel number counts as missing: channel 0.
    store.WriteSetting("Domain", "CurDoMainChannelNo", "1" + std::string(300, '0'));
    store.Load();
    EXPECT_EQ(store.LoginChannel(), 0);
    store.WriteSetting("Domain", "CurDoMainChannelNo", "abc");
    store.Load();
    EXPECT_EQ(store.LoginChannel(), 0);
}

TEST(ZrCommonData, SerialsAreUniqueAcrossThreads)
{
    ZrCommonData store;
    EXPECT_EQ(store.NextSerial(), 1000);
    std::vector<std::vector<int64_t>> taken(4);
    std::vector<std::thread> threads;
    for (auto& list : taken)
        threads.emplace_back([&store, &list] {
            for (int i = 0; i < 1000; ++i)
                list.push_back(store.NextSerial());
        });
    for (auto& t : threads)
        t.join();
    std::vector<bool> seen(4000, false);
    for (const auto& list : taken)
        for (int64_t serial : list) {
            ASSERT_GE(serial, 1001);
            ASSERT_LT(serial, 5001);
            EXPECT_FALSE(seen[static_cast<size_t>(serial - 1001)]);
            seen[static_cast<size_t>(serial - 1001)] = true;
        }
    EXPECT_EQ(store.NextSerial(), 5001);
}
