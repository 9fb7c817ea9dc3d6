#pragma once
#include "business/ZrBusinessObject.h"

// File downloads and page jumps.
class ZrCommonMgr : public ZrBusinessObject {
public:
    explicit ZrCommonMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleRequest(const RequestPtr& request);
};
