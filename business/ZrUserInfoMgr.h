#pragma once
#include "business/ZrBusinessObject.h"

// The logged-in user's record.
class ZrUserInfoMgr : public ZrBusinessObject {
public:
    explicit ZrUserInfoMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleRequest(const RequestPtr& request);
};
