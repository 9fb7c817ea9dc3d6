#include "business/ZrQuotePriceMgr.h"

#include "business/ZrBusinessManager.h"

void ZrQuotePriceMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeQuoteBrief, handler);
}

bool ZrQuotePriceMgr::HandleRequest(const RequestPtr& request)
{
    // The service that answers this type is not wired in yet: refuse rather
    // than accept a request that would never be answered.
    return false;
}
