#pragma once
#include "business/DataCoreRequest.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Json {
class Value;
}

// The description of one HTTP call or one channel request.
struct ParamReqInfo {
    using Pairs = std::vector<std::pair<std::string, std::string>>; // (value, name)
    using ResponseFn = std::function<void(const std::shared_ptr<ParamReqInfo>&, const char* body, uint32_t length)>;
    using PushFn = std::function<void(const std::shared_ptr<ParamReqInfo>&, const std::shared_ptr<Json::Value>&)>;

    int64_t serial = 0;
    std::string section;
    std::string key;
    std::string url;
    int32_t mode = 0;
    std::string body;
    std::shared_ptr<DataCoreRequest> origin;
    Pairs headers;
    Pairs params;
    ResponseFn onResponse;
    PushFn onPush;
    bool encodeParams = true;
    int32_t signStyle = 4;
    int32_t bodyStyle = 0;
    std::string tag;

    // Sets tag to the MD5 digest (32 lower-case hex digits) of
    // "receiverId:receiverTag:context:messageType" of origin, or of
    // "0:0:0:messageType" without origin.
    void MakeRequestKey(const std::string& messageType);
};

// MD5 of the bytes as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& bytes);
