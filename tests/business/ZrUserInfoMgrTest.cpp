#include "platform/Win32.h"

#include "business/ZrCommonMgr.h"
#include "business/ZrJumpHandOff.h"
#include "business/ZrUserInfoMgr.h"
#include "platform/TextConv.h"
#include "tests/business/InstalledManager.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

namespace {

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

class UserInfoTest : public InstalledManagerTest {
protected:
    ZrUserInfoMgr& UserMgr() { return *Manager<ZrUserInfoMgr>(); }
    std::wstring HeadImage() const { return InstallDir() + L"\\Data\\File\\sandboxuser"; }
    size_t UserInfoCalls() { return Records("/user/info").size(); }

    std::shared_ptr<const ZrUserInfo> AskUser()
    {
        auto request = std::make_shared<DataCoreRequest>();
        request->type = kRequestTypeUserInfo;
        ImmediateProbe probe;
        probe.Attach(*request);
        EXPECT_TRUE(manager->Request(request, true));
        if (probe.answers.size() != 1)
            return nullptr;
        auto response = std::dynamic_pointer_cast<UserInfoResponse>(probe.answers[0]);
        return response ? response->userInfo : nullptr;
    }
};

} // namespace

TEST_F(UserInfoTest, StartUpRefreshSignsTheCallDownloadsTheHeadImageAndUpdatesTheStore)
{
    // SetUp waited for the store to take the service's nickname over.
    EXPECT_EQ(Store().UserName(), "sandboxuser");
    EXPECT_EQ(Store().Token(), "sandbox-token-0001");
    EXPECT_EQ(ReadAll(HeadImage()).compare(0, 8, kPngSignature, 8), 0) << "head image downloaded";

    const auto calls = Records("/user/info");
    ASSERT_FALSE(calls.empty());
    const Json::Value& call = calls.back();
    EXPECT_EQ(call["query"].asString(), "serverId=1001&token=sandbox-token-0001");
    std::map<std::string, std::string> headers;
    for (const auto& pair : call["headers"])
        headers[pair[0].asString()] = pair[1].asString();
    EXPECT_EQ(headers["htchannel"], "pc");
    EXPECT_EQ(headers["Content-Type"], "application/x-www-form-urlencoded");
    EXPECT_FALSE(headers["signature"].empty());

    auto user = AskUser();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->nickname, L"林间听雨");
    EXPECT_EQ(user->username, "sandboxuser");
    EXPECT_EQ(user->token, "sandbox-token-0001");
    EXPECT_EQ(user->org, L"VelTray Sandbox");
    EXPECT_EQ(user->headImagePath, HeadImage());
}

TEST_F(UserInfoTest, HandlerAnswersOnlyThroughOnImmediate)
{
    auto request = std::make_shared<DataCoreRequest>();
    request->type = kRequestTypeUserInfo;
    EXPECT_FALSE(manager->Request(request, true));
}

TEST_F(UserInfoTest, FailedFetchesLeaveTheStoreAlone)
{
    const struct {
        const char* token;
        bool sent;
    } cases[] = {
        {"sandbox-token-unknown", true}, // code 0, with a guest record in data
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        Store().UpdateUser("sandboxuser", L"before", c.token);
        WriteAll(HeadImage(), "old");
        const size_t before = UserInfoCalls();
        EXPECT_FALSE(UserMgr().Refresh());
        EXPECT_EQ(UserInfoCalls(), before + (c.sent ? 1 : 0));
        EXPECT_EQ(Store().Nickname(), L"before");
        EXPECT_EQ(Store().UserName(), "sandboxuser");
        EXPECT_EQ(Store().Token(), c.token);
        EXPECT_EQ(ReadAll(HeadImage()), "old");
    }
}

TEST_F(UserInfoTest, AUserNameThatLeadsOutOfTheFolderIsRefused)
{
    Store().UpdateUser("sandboxuser", L"before", "sandbox-token-traversal");
    EXPECT_FALSE(UserMgr().Refresh());
    EXPECT_EQ(Store().UserName(), "sandboxuser");
    EXPECT_EQ(Store().Nickname(), L"before");
    EXPECT_FALSE(FileExists(InstallDir() + L"\\escaped"));
    for (const char* name : {"..", "a\\b", "a/b", "c:x", ""})
        EXPECT_EQ(ZrUserInfoMgr::HeadImagePath(InstallDir(), name), L"") << name;
}

TEST_F(UserInfoTest, AFailedHeadImageDownloadKeepsTheOldFileButTakesTheRecord)
{
    WriteAll(HeadImage(), "old");
    Store().UpdateUser("sandboxuser", L"before", "sandbox-token-brokenimage");
    EXPECT_TRUE(UserMgr().Refresh());
    EXPECT_EQ(Store().Nickname(), L"无头像用户");
    EXPECT_EQ(ReadAll(HeadImage()), "old");
    EXPECT_FALSE(Records("/user/head/missing.png").empty());
}

TEST_F(UserInfoTest, ReloadReadsTheFilesAgainAndRefreshes)
{
    Store().UpdateUser("sandboxuser", L"before", "sandbox-token-unknown");
    const size_t before = UserInfoCalls();
    std::promise<void> done;
    manager->Reload([&] { done.set_value(); });
    ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(15)), std::future_status::ready);
    EXPECT_EQ(UserInfoCalls(), before + 1);
    EXPECT_EQ(Store().Token(), "sandbox-token-0001") << "the token of the user file";
    EXPECT_EQ(Store().Nickname(), L"林间听雨");
}

namespace {

class CommonTest : public InstalledManagerTest {
protected:
    std::shared_ptr<CommonFileDownloadResponse> Download(const std::string& url, const std::wstring& path)
    {
        auto request = std::make_shared<CommonFileDownloadRequest>();
        request->context = 1;
        request->url = url;
        request->path = path;
        EXPECT_TRUE(manager->Request(request, false));
        auto got = Responses(1);
        if (got.size() != 1)
            return nullptr;
        EXPECT_EQ(got[0]->request, request);
        return std::dynamic_pointer_cast<CommonFileDownloadResponse>(got[0]);
    }

    struct Jump {
        std::wstring key, url;
        bool launchOnly;
    };
    void SetUp() override
    {
        InstalledManagerTest::SetUp();
        SetJumpHandOff([this](const std::wstring& key, const std::wstring& url, bool launchOnly) {
            jumps.push_back({key, url, launchOnly});
        });
    }
    void TearDown() override
    {
        SetJumpHandOff(nullptr);
        InstalledManagerTest::TearDown();
    }

    std::vector<Jump> jumps;
    TempDir dir;
};

} // namespace

TEST_F(CommonTest, DownloadCreatesTheFoldersAndReportsThePath)
{
    const std::wstring target = dir.Join(L"a\\b/c.png");
    auto response = Download(Url("/user/head/cover8001.png"), target);
    ASSERT_NE(response, nullptr);
    EXPECT_TRUE(response->ok);
    EXPECT_EQ(response->path, target);
    EXPECT_EQ(ReadAll(target).compare(0, 8, kPngSignature, 8), 0);
}

TEST_F(CommonTest, FailedDownloadsReportNoPathAndKeepTheTarget)
{
    const std::wstring target = dir.Join(L"keep.png");
    WriteAll(target, "old");
    const std::pair<std::string, std::wstring> cases[] = {
        {Url("/user/head/missing.png"), target},
        {"", target},
        {Url("/user/head/x.png"), L""},
    };
    for (const auto& [url, path] : cases) {
        SCOPED_TRACE(url);
        auto response = Download(url, path);
        ASSERT_NE(response, nullptr);
        EXPECT_FALSE(response->ok);
        EXPECT_EQ(response->path, L"");
        EXPECT_EQ(ReadAll(target), "old");
    }

    auto wrongClass = std::make_shared<DataCoreRequest>();
    wrongClass->type = kRequestTypeFileDownload;
    EXPECT_FALSE(manager->Request(wrongClass, true));
}

TEST_F(CommonTest, JumpsResolveConfiguredPagesAndAlwaysReachTheHandOff)
{
    const struct {
        const wchar_t* key;
        const wchar_t* url;
        bool launchOnly;
        std::wstring resolved;
    } cases[] = {
        {L"yd", L"", false, L"gw://funccall?funcname=OnGoPage;param0=yd;"},
        {L"login", L"", true, L"gw://funccall?funcname=OnLogin;"},
        {L"no-such-page", L"", false, L""},
        {L"yd", L"gw://given", false, L"gw://given"},
        {L"", L"", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.key));
        jumps.clear();
        auto request = std::make_shared<CommonJumpPageRequest>();
        request->key = c.key;
        request->url = c.url;
        request->launchOnly = c.launchOnly;
        std::vector<std::string> seen;
        request->onUrl = [&](const std::string& url) { seen.push_back(url); };
        EXPECT_TRUE(manager->Request(request, true));
        EXPECT_EQ(seen, std::vector<std::string>{WideToUtf8(c.resolved)});
        ASSERT_EQ(jumps.size(), 1u);
        EXPECT_EQ(jumps[0].key, c.key);
        EXPECT_EQ(jumps[0].url, c.resolved);
        EXPECT_EQ(jumps[0].launchOnly, c.launchOnly);
    }

    auto wrongClass = std::make_shared<DataCoreRequest>();
    wrongClass->type = kRequestTypeJumpPage;
    jumps.clear();
    EXPECT_FALSE(manager->Request(wrongClass, true));
    EXPECT_TRUE(jumps.empty());
}
