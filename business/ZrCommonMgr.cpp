#include "business/ZrCommonMgr.h"

#include "business/ZrBusinessManager.h"

void ZrCommonMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeFileDownload, handler);
    Owner().RegisterHandler(kRequestTypeJumpPage, handler);
}

bool ZrCommonMgr::HandleRequest(const RequestPtr& request)
{
    // The service that answers this type is not wired in yet: refuse rather
    // than accept a request that would never be answered.
    return false;
}
