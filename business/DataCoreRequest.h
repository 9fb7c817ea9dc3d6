#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Request types; each selects the business manager that answers it.
enum DataCoreRequestType : int32_t {
    kRequestTypeDefault = 60000, // no handler
    kRequestTypeQuoteBrief = 60001,
    kRequestTypeStockAbnormal = 60002,
    kRequestTypeInfomation = 60003,
    kRequestTypeFileDownload = 60004,
    kRequestTypeUserInfo = 60005,
    kRequestTypeLiveSchedule = 60006,
    kRequestTypeJumpPage = 60007,
};

enum DataCoreRequestMode : int32_t {
    kModeSubscribe = 1,
    kModeSingle = 2,
    kModeUnsubscribe = 3,
};

#pragma pack(push, 1)
// A stock as the quote services name it.
struct StockID {
    uint8_t market = 0;
    char code[32] = {};
};
#pragma pack(pop)
static_assert(sizeof(StockID) == 33, "StockID is packed");

struct DataCoreResponse;

// Base of every request. Never changed after it was handed to the business
// manager: workers read it while the UI thread may still hold it.
struct DataCoreRequest {
    virtual ~DataCoreRequest() = default;

    int32_t receiverId = 0;
    int32_t receiverTag = 0;
    // Only the low 32 bits reach the receiver; a response whose low word is 0
    // is not delivered.
    int64_t context = 0;
    int32_t type = kRequestTypeDefault;
    int32_t mode = kModeSingle;
    // Called on the handler's thread for an answer that is available at once.
    std::function<void(const std::shared_ptr<DataCoreResponse>&)> onImmediate;
};

struct DataCoreResponse {
    virtual ~DataCoreResponse() = default;

    std::shared_ptr<DataCoreRequest> request;
};

// Index prices and the subscription of a list of stocks.
struct QuoteBriefRequest : DataCoreRequest {
    QuoteBriefRequest() { type = kRequestTypeQuoteBrief; }
    std::vector<StockID> stocks;
};

struct StockABRequest : DataCoreRequest {
    StockABRequest() { type = kRequestTypeStockAbnormal; }
    int32_t first = 0;
    int32_t second = 1;
};

struct InfomationRequest : DataCoreRequest {
    InfomationRequest() { type = kRequestTypeInfomation; }
    std::string topic;
};

struct CommonFileDownloadRequest : DataCoreRequest {
    CommonFileDownloadRequest() { type = kRequestTypeFileDownload; }
    std::string url;
    std::wstring path;
};

// The user record is asked for with a plain DataCoreRequest of type 60005.

struct LiveScheduleRequest : DataCoreRequest {
    LiveScheduleRequest() { type = kRequestTypeLiveSchedule; }
};

struct CommonJumpPageRequest : DataCoreRequest {
    CommonJumpPageRequest() { type = kRequestTypeJumpPage; }
    std::wstring key;
    std::wstring url;
    bool launchOnly = false;
    std::function<void(const std::string&)> onUrl;
};

// What the UI thread hands to a receiver: the request and its answer, kept
// alive together until the receiver releases them.
struct AsyncPayload {
    std::shared_ptr<DataCoreRequest> request;
    std::shared_ptr<DataCoreResponse> response;
};

// The release function that travels with a payload in a receiver's record.
inline void ReleaseAsyncPayload(void* payload)
{
    delete static_cast<AsyncPayload*>(payload);
}
