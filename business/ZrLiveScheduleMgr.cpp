#include "business/ZrLiveScheduleMgr.h"

#include "business/ZrBusinessManager.h"

void ZrLiveScheduleMgr::Init()
{
    auto handler = [this](const RequestPtr& request) { return HandleRequest(request); };
    Owner().RegisterHandler(kRequestTypeLiveSchedule, handler);
}

bool ZrLiveScheduleMgr::HandleRequest(const RequestPtr& request)
{
    // The service that answers this type is not wired in yet: refuse rather
    // than accept a request that would never be answered.
    return false;
}
