#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pugi {
class xml_document;
}

// The installation's configuration files and the login-channel rewriting.
// Readers never throw; a file that cannot be read gives empty results.
namespace ConfigFiles {

using Section = std::map<std::string, std::string>;
using Configuration = std::map<std::string, Section>;
using MarketTable = std::map<std::string, int32_t>;

struct LoginChannel {
    int32_t type = 0;
    std::string name;
};

struct DomainConfig {
    bool read = false;
    std::vector<LoginChannel> channels;
    // configured host -> alternative hosts, index = channel number
    std::map<std::string, std::vector<std::string>> hosts;
};

// Loads path as plain XML when it exists, otherwise path + ".vqx" as a
// protected file. A plain file's encoding comes from its byte-order mark or
// declaration (GBK/GB2312/GB18030 through code page 936).
bool LoadXml(const std::wstring& path, pugi::xml_document& document);
// Parses XML text the same way (exposed for tests).
bool ParseXml(const std::string& bytes, bool plainFile, pugi::xml_document& document);

Configuration ReadUrlCore(const pugi::xml_document& document);
MarketTable ReadMarkets(const pugi::xml_document& document);
DomainConfig ReadDomainConfig(const pugi::xml_document& document);

// The channel's host map: key -> its alternative host at index n, for every
// key that has one. A negative n selects nothing.
std::map<std::string, std::string> ChannelHosts(const DomainConfig& domains, int32_t n);
// One value rewritten for a channel host map (prefixes "https://", "http://",
// "" in that order, keys in ascending byte order).
std::string RewriteValue(const std::string& value, const std::map<std::string, std::string>& hosts);
// Every value of the configuration, unless channel n exists with type 1.
void RewriteConfiguration(Configuration& configuration, const DomainConfig& domains, int32_t n);

// A page template filled with the given texts. Only "%s" (at most as many as
// texts given) and "%%" are allowed; any other conversion, or too many "%s",
// gives an empty result, so a bad template never reads beyond the texts.
std::string FormatTemplate(const std::string& format, const std::vector<std::string>& texts);

// C conversion of a decimal text ("abc" gives 0), clamped to int32.
int32_t CInt(const char* text);

} // namespace ConfigFiles
