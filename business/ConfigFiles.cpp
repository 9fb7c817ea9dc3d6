#include "platform/Win32.h"
#include "business/ConfigFiles.h"

#include "net/ProtectedFile.h"
#include "platform/ScopedWin.h"
#include "platform/TextConv.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace ConfigFiles {

namespace {

constexpr LONGLONG kMaxConfigSize = 16LL * 1024 * 1024;

bool ReadPlainFile(const std::wstring& path, std::string& bytes)
{
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || size.QuadPart > kMaxConfigSize)
        return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return bytes.empty() ||
           (::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The encoding named by an XML declaration at the start of 8-bit text.
std::string DeclaredEncoding(const std::string& bytes)
{
    if (bytes.compare(0, 5, "<?xml") != 0)
        return {};
    const size_t end = bytes.find("?>");
    if (end == std::string::npos)
        return {};
    std::string declaration = bytes.substr(0, end);
    const size_t at = declaration.find("encoding");
    if (at == std::string::npos)
        return {};
    size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string::npos)
        return {};
    const size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string::npos)
        return {};
    std::string name = declaration.substr(quote + 1, close - quote - 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

bool ParseXml(const std::string& bytes, bool plainFile, pugi::xml_document& document)
{
    document.reset();
    // No DOCTYPE processing and no custom entities: pugixml leaves entity
    // declarations unexpanded, so entity tricks cannot grow the document.
    const unsigned options = pugi::parse_default;
    pugi::xml_parse_result result;
    if (!plainFile) {
        result = document.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_utf8);
    } else {
        const std::string declared = DeclaredEncoding(bytes);
        if (declared == "gbk" || declared == "gb2312" || declared == "gb18030") {
            const std::string utf8 = WideToUtf8(CodePageToWide(bytes, 936));
            if (utf8.empty() && !bytes.empty())
                return false;
            result = document.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
        } else {
            result = document.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto);
        }
    }
    if (!result) {
        document.reset();
        return false;
    }
    return true;
}

bool LoadXml(const std::wstring& path, pugi::xml_document& document)
{
    std::string bytes;
    if (FileExists(path))
        return ReadPlainFile(path, bytes) && ParseXml(bytes, true, document);
    std::string content;
    if (!readProtectedFile(path + L".vqx", content))
        return false;
    return ParseXml(content, false, document);
}

Configuration ReadUrlCore(const pugi::xml_document& document)
{
    Configuration configuration;
    for (pugi::xml_node section : document.child("root").children()) {
        if (section.type() != pugi::node_element)
            continue;
        Section& target = configuration[section.name()];
        for (pugi::xml_node key : section.children()) {
            if (key.type() == pugi::node_element)
                target[key.name()] = key.text().get();
        }
    }
    return configuration;
}

int32_t CInt(const char* text)
{
    if (!text)
        return 0;
    const long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

MarketTable ReadMarkets(const pugi::xml_document& document)
{
    MarketTable markets;
    for (pugi::xml_node market : document.child("root").child("marketdef").children("market")) {
        const char* id = market.attribute("id").value();
        const char* code = market.attribute("code").value();
        if (!*id || !*code)
            continue;
        markets[code] = CInt(id);
    }
    return markets;
}

DomainConfig ReadDomainConfig(const pugi::xml_document& document)
{
    DomainConfig domains;
    pugi::xml_node root = document.child("ROOT");
    if (!root)
        return domains;
    domains.read = true;
    for (pugi::xml_node item : root.child("channellist").children("item"))
        domains.channels.push_back({CInt(item.attribute("type").value()), item.text().get()});
    for (pugi::xml_node url : root.child("domain_list").children("url")) {
        std::vector<std::string>& list = domains.hosts[url.attribute("key").value()];
        for (pugi::xml_node channel : url.children("channel"))
            list.emplace_back(channel.attribute("val").value());
    }
    if (domains.channels.empty()) {
        domains.channels.push_back({0, "登录通道一"});
        domains.channels.push_back({0, "登录通道二"});
    }
    return domains;
}

std::map<std::string, std::string> ChannelHosts(const DomainConfig& domains, int32_t n)
{
    std::map<std::string, std::string> hosts;
    if (n < 0)
        return hosts;
    for (const auto& [key, list] : domains.hosts) {
        // An empty key would match every value.
        if (!key.empty() && list.size() > static_cast<size_t>(n))
            hosts[key] = list[static_cast<size_t>(n)];
    }
    return hosts;
}

std::string RewriteValue(const std::string& value, const std::map<std::string, std::string>& hosts)
{
    for (const char* prefix : {"https://", "http://", ""}) {
        for (const auto& [key, host] : hosts) {
            const std::string head = std::string(prefix) + key;
            if (StartsWith(value, head))
                return prefix + host + value.substr(head.size());
        }
    }
    return value;
}

void RewriteConfiguration(Configuration& configuration, const DomainConfig& domains, int32_t n)
{
    if (n >= 0 && static_cast<size_t>(n) < domains.channels.size() && domains.channels[static_cast<size_t>(n)].type == 1)
        return;
    const auto hosts = ChannelHosts(domains, n);
    if (hosts.empty())
        return;
    for (auto& [name, section] : configuration)
        for (auto& [key, value] : section)
            value = RewriteValue(value, hosts);
}

std::string FormatTemplate(const std::string& format, const std::vector<std::string>& texts)
{
    std::string result;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            result.push_back(c);
            continue;
        }
        if (i + 1 >= format.size())
            return {};
        const char conversion = format[++i];
        if (conversion == '%') {
            result.push_back('%');
        } else if (conversion == 's' && next < texts.size()) {
            result += texts[next++];
        } else {
            return {};
        }
    }
    return result;
}

} // namespace ConfigFiles
