#pragma once
#include "business/ZrBusinessObject.h"

// Index quotes: answered through the quote channel.
class ZrQuotePriceMgr : public ZrBusinessObject {
public:
    explicit ZrQuotePriceMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleRequest(const RequestPtr& request);
};
