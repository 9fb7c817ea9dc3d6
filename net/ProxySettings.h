#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The proxy VelStation configured for the user (fixed layout; the text
// fields are cut to fit and always NUL-terminated).
struct ZrProxyData {
    char Domain[16] = {};
    int32_t Port = 0;
    char UserName[32] = {};
    char Password[32] = {};
    int32_t ProxyType = 0; // 1 HTTP, 2 SOCKS5, 3 SOCKS4, anything else none
};
static_assert(sizeof(ZrProxyData) == 88, "ZrProxyData layout");

// The parse of ProxyData.data's plain content; false (proxy left all zero)
// unless it is an object with an integer "UserProxyType".
bool ParseProxySettings(std::string_view json, ZrProxyData& proxy);

// Reads current directory + "//Data//Common\\ProxyData.data".
bool readProxySettings(ZrProxyData& proxy);
// The same under a directory that stands for the current directory.
bool readProxySettingsIn(const std::wstring& baseDirectory, ZrProxyData& proxy);
