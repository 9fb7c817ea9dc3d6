#include "business/ZrCommonMgr.h"

#include "business/ParamReqInfo.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "business/ZrJumpHandOff.h"
#include "platform/TextConv.h"

#include <filesystem>
#include <system_error>

void ZrCommonMgr::Init()
{
    Owner().RegisterHandler(kRequestTypeFileDownload, [this](const RequestPtr& request) { return HandleDownload(request); });
    Owner().RegisterHandler(kRequestTypeJumpPage, [this](const RequestPtr& request) { return HandleJump(request); });
}

bool ZrCommonMgr::HandleDownload(const RequestPtr& request)
{
    auto download = std::dynamic_pointer_cast<CommonFileDownloadRequest>(request);
    if (!download)
        return false;

    const size_t separator = download->path.find_last_of(L"\\/");
    if (separator != std::wstring::npos && separator > 0) {
        std::error_code ignored; // a folder that cannot be made shows as a failed download
        std::filesystem::create_directories(std::filesystem::path(download->path.substr(0, separator)), ignored);
    }

    // Through a temporary file: a transfer that fails must not leave the
    // target truncated.
    auto info = std::make_shared<ParamReqInfo>();
    info->url = download->url;
    info->body = WideToUtf8(download->path);
    const bool ok = !download->url.empty() && !download->path.empty() && Owner().HttpDownload(info, true);

    auto response = std::make_shared<CommonFileDownloadResponse>();
    response->request = request;
    response->ok = ok;
    if (ok)
        response->path = download->path;
    Owner().PostResponse(response);
    return true;
}

bool ZrCommonMgr::HandleJump(const RequestPtr& request)
{
    auto jump = std::dynamic_pointer_cast<CommonJumpPageRequest>(request);
    if (!jump)
        return false;

    std::wstring url = jump->url;
    if (url.empty() && !jump->key.empty() && Owner().Data()) {
        const std::string configured = Owner().Data()->JumpUrl(WideToUtf8(jump->key));
        if (!configured.empty())
            url = Utf8ToWide(configured);
    }
    if (jump->onUrl)
        jump->onUrl(WideToUtf8(url));
    HandOffJump(jump->key, url, jump->launchOnly);
    return true;
}
