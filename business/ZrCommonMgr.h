#pragma once
#include "business/DataCoreRequest.h"
#include "business/ZrBusinessObject.h"

#include <string>

struct CommonFileDownloadResponse : DataCoreResponse {
    bool ok = false;
    std::wstring path; // set when ok
};

// File downloads and page jumps.
class ZrCommonMgr : public ZrBusinessObject {
public:
    explicit ZrCommonMgr(ZrBusinessManager& owner) : ZrBusinessObject(owner) {}

    void Init() override;
    void Uninit() override {}

private:
    bool HandleDownload(const RequestPtr& request);
    bool HandleJump(const RequestPtr& request);
};
