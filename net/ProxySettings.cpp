#include "platform/Win32.h"
#include "net/ProxySettings.h"

#include "net/ProtectedFile.h"

#include <json/json.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// "Integer": a value that fits a signed 32-bit integer; a whole-number real counts.
bool AsInt32(const Json::Value& value, int32_t& out)
{
    if (!value.isInt() || (value.isDouble() && !value.isIntegral()))
        return false;
    out = value.asInt();
    return true;
}

template <size_t N>
void CopyCut(char (&field)[N], const std::string& text)
{
    const size_t count = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), count);
    field[count] = '\0';
}

} // namespace

bool ParseProxySettings(std::string_view json, ZrProxyData& proxy)
{
    proxy = ZrProxyData{};
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["stackLimit"] = 64;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    try {
        std::string errors;
        if (!reader->parse(json.data(), json.data() + json.size(), &root, &errors) || !root.isObject())
            return false;
        int32_t userProxyType = 0;
        if (!root.isMember("UserProxyType") || !AsInt32(root["UserProxyType"], userProxyType))
            return false;
        ZrProxyData read;
        int32_t number = 0;
        if (root.isMember("ProxyType") && AsInt32(root["ProxyType"], number))
            read.ProxyType = number;
        if (root.isMember("Port") && AsInt32(root["Port"], number))
            read.Port = number;
        if (root["Domain"].isString())
            CopyCut(read.Domain, root["Domain"].asString());
        if (root["UserName"].isString())
            CopyCut(read.UserName, root["UserName"].asString());
        if (root["Password"].isString())
            CopyCut(read.Password, root["Password"].asString());
        proxy = read;
        return true;
    } catch (...) {
        proxy = ZrProxyData{};
        return false;
    }
}

bool readProxySettingsIn(const std::wstring& baseDirectory, ZrProxyData& proxy)
{
    proxy = ZrProxyData{};
    std::wstring directory = baseDirectory + L"//Data";
    ::CreateDirectoryW(directory.c_str(), nullptr);
    directory += L"//Common";
    ::CreateDirectoryW(directory.c_str(), nullptr);
    std::string content;
    if (!readProtectedFile(directory + L"\\ProxyData.data", content))
        return false;
    return ParseProxySettings(content, proxy);
}

bool readProxySettings(ZrProxyData& proxy)
{
    wchar_t current[MAX_PATH * 2] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 2, current);
    if (length == 0 || length >= MAX_PATH * 2) {
        proxy = ZrProxyData{};
        return false;
    }
    return readProxySettingsIn(current, proxy);
}
