#pragma once
#include "business/DataCoreRequest.h"
#include "business/ZrBusinessObject.h"

#include <memory>
#include <string>

class ZrCommonData;

struct ZrUserInfo {
    std::wstring nickname;
    std::string username;
    std::string token;
    std::wstring org;
    std::string headImage; // the image's URL
    std::wstring headImagePath;
    std::string roomToken;
};

struct UserInfoResponse : DataCoreResponse {
    std::shared_ptr<const ZrUserInfo> userInfo;
};

// The logged-in user: answered at once from the store, refreshed from the
// user-info service at start and after every reload.
class ZrUserInfoMgr : public ZrBusinessObject {
public:
    explicit ZrUserInfoMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}
    void OnReload() override;

    // Fetches the user record on the calling thread, downloads the head image
    // and updates the store. False when nothing was fetched (no token, or the
    // service did not accept the request); the store is then unchanged.
    bool Refresh();

    // base + "\\Data\\File\\" + the user name. Empty for a name that is not a
    // plain file name (it comes from the server, and must not lead elsewhere).
    static std::wstring HeadImagePath(const std::wstring& base, const std::string& userName);

private:
    bool HandleRequest(const RequestPtr& request);
    std::wstring BaseDirectory() const;
};
