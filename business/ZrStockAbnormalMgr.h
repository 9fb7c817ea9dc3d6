#pragma once
#include "business/ZrBusinessObject.h"

// Abnormal movements of the watched stocks.
class ZrStockAbnormalMgr : public ZrBusinessObject {
public:
    explicit ZrStockAbnormalMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleRequest(const RequestPtr& request);
};
