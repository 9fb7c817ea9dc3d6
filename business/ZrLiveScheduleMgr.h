#pragma once
#include "business/ZrBusinessObject.h"

// The seven-day live schedule.
class ZrLiveScheduleMgr : public ZrBusinessObject {
public:
    explicit ZrLiveScheduleMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleRequest(const RequestPtr& request);
};
