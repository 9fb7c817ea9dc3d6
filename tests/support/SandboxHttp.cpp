#include "tests/support/SandboxHttp.h"

#include "net/WeHttpService.h"
#include "platform/JsonRead.h"
#include "tests/support/SandboxPorts.h"

#include <json/json.h>

namespace {

std::string Call(const std::string& path, const std::string* body)
{
    WeHttpStore store;
    store.lookup = [](const std::string&, const std::string&) { return std::string(); };
    store.values = [] { return WeHttpStoreValues(); };
    WeHttpService http(std::move(store));
    auto request = std::make_shared<ParamReqInfo>();
    request->url = SandboxUrl(path);
    request->signStyle = 0;
    std::string answer;
    request->onResponse = [&answer](const auto&, const char* data, uint32_t length) {
        answer.assign(data ? data : "", data ? length : 0);
    };
    if (body) {
        request->body = *body;
        (void)http.post(request);
    } else {
        (void)http.get(request);
    }
    return answer;
}

} // namespace

std::string SandboxUrl(const std::string& path)
{
    const auto ports = ReadSandboxPorts();
    const auto it = ports.find("port");
    return it == ports.end() ? std::string() : "http://127.0.0.1:" + std::to_string(it->second) + path;
}

std::string SandboxGet(const std::string& path)
{
    return Call(path, nullptr);
}

std::string SandboxPost(const std::string& path, const std::string& json)
{
    return Call(path, &json);
}

Json::Value SandboxGetJson(const std::string& path)
{
    Json::Value value;
    if (!JsonRead::Parse(SandboxGet(path), value))
        return Json::Value();
    return value;
}
