#include "business/ZrUserInfoMgr.h"

#include "business/ParamReqInfo.h"
#include "business/UserFiles.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "platform/JsonRead.h"
#include "platform/TextConv.h"

#include <json/json.h>

namespace {

bool IsPlainFileName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..")
        return false;
    for (wchar_t c : name) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c))
            return false;
    }
    return true;
}

// The record the service answered with; only a complete exchange counts.
bool ReadUserAnswer(const char* body, uint32_t length, ZrUserInfo& user)
{
    Json::Value root;
    if (!body || length == 0 || !JsonRead::Parse(std::string_view(body, length), root) || !root.isObject())
        return false;
    if (JsonRead::Int(root, "code") != 1)
        return false;
    // Without a record there is nothing to take over, and taking the empty
    // values would log the user out of every later request.
    const Json::Value* data = JsonRead::Member(root, "data");
    if (!data || !data->isObject())
        return false;
    user.username = JsonRead::Text(*data, "username");
    user.nickname = JsonRead::WideText(*data, "nickname");
    user.token = JsonRead::Text(*data, "token");
    user.headImage = JsonRead::Text(*data, "headImage");
    user.roomToken = JsonRead::Text(*data, "roomToken");
    // The user name names files (head image, stock lists): one that could
    // lead out of its folder is refused as a whole.
    return user.username.empty() || IsPlainFileName(Utf8ToWide(user.username));
}

} // namespace

void ZrUserInfoMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeUserInfo, handler);
    Owner().AddTask(std::function<void()>([this] { Refresh(); }));
}

void ZrUserInfoMgr::OnReload()
{
    Refresh();
}

std::wstring ZrUserInfoMgr::HeadImagePath(const std::wstring& base, const std::string& userName)
{
    const std::wstring name = Utf8ToWide(userName);
    if (!IsPlainFileName(name))
        return {};
    const std::wstring folder = base + L"\\Data\\File";
    ::CreateDirectoryW((base + L"\\Data").c_str(), nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr); // a failure shows when the file is written
    return folder + L"\\" + name;
}

std::wstring ZrUserInfoMgr::BaseDirectory() const
{
    std::wstring base = Owner().Data() ? Owner().Data()->BaseDirectory() : std::wstring();
    return base.empty() ? UserFiles::ExeDirectory() : base;
}

bool ZrUserInfoMgr::HandleRequest(const RequestPtr& request)
{
    if (!request || !request->onImmediate)
        return false;
    ZrCommonData* store = Owner().Data();
    auto user = std::make_shared<ZrUserInfo>();
    if (store) {
        user->username = store->UserName();
        user->nickname = store->Nickname();
        user->token = store->Token();
        user->org = store->Org();
    }
    user->headImagePath = HeadImagePath(BaseDirectory(), user->username);
    auto response = std::make_shared<UserInfoResponse>();
    response->userInfo = std::move(user);
    request->onImmediate(response);
    return true;
}

bool ZrUserInfoMgr::Refresh()
{
    ZrCommonData* store = Owner().Data();
    if (!store)
        return false;
    const std::string token = store->Token();
    if (token.empty())
        return false;

    ZrUserInfo user;
    bool fetched = false;
    auto info = std::make_shared<ParamReqInfo>();
    info->section = "userinfo";
    info->key = "token";
    info->bodyStyle = 2;
    info->signStyle = 1;
    info->params = {{token, "token"}, {store->ServerId(), "serverId"}};
    info->headers = {{"pc", "htchannel"}};
    info->onResponse = [&](const std::shared_ptr<ParamReqInfo>&, const char* body, uint32_t length) {
        try {
            fetched = ReadUserAnswer(body, length, user);
        } catch (...) {
            fetched = false;
        }
    };
    // Through the owner rather than the process-wide instance: the same object
    // in the program, and a test's own manager otherwise.
    Owner().HttpGet(info, true);
    if (!fetched)
        return false;

    // A member the answer left out keeps the value the store has.
    const std::string userName = user.username.empty() ? store->UserName() : user.username;
    user.headImagePath = HeadImagePath(BaseDirectory(), userName);
    if (!user.headImage.empty() && !user.headImagePath.empty()) {
        auto download = std::make_shared<ParamReqInfo>();
        download->url = user.headImage;
        download->body = WideToUtf8(user.headImagePath);
        Owner().HttpDownload(download, true); // a failure keeps the old image
    }
    store->UpdateUser(userName, user.nickname.empty() ? store->Nickname() : user.nickname,
                      user.token.empty() ? token : user.token);
    return true;
}
