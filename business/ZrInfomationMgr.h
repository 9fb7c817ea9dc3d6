#pragma once
#include "business/ZrBusinessObject.h"

// Case-stock content from the push channel.
class ZrInfomationMgr : public ZrBusinessObject {
public:
    explicit ZrInfomationMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleRequest(const RequestPtr& request);
};
