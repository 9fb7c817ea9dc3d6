#pragma once
#include <string>

namespace Json {
class Value;
}

// The sandbox's control and record endpoints, reached with the product's own
// HTTP client. path starts with "/"; empty text when the call failed.
std::string SandboxUrl(const std::string& path);
std::string SandboxGet(const std::string& path);
std::string SandboxPost(const std::string& path, const std::string& json);
// The same, parsed; null when the answer is not JSON.
Json::Value SandboxGetJson(const std::string& path);
