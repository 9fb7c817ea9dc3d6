#include "platform/Win32.h"

#include "net/WeHttpService.h"

#include "platform/JsonRead.h"
#include "platform/ModulePath.h"
#include "platform/TextConv.h"

#include <curl/curl.h>
#include <json/json.h>
#include <objbase.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

namespace {

const char kAppCode[] = "com.tmkw.corvid";

struct WeHttpPublic {
    std::string proxy;
    std::string proxyUserPwd;
    long proxyType = 0;
    bool useProxy = false;
    long timeout = 10;
};

struct Transfer {
    std::string* body = nullptr;
    std::string* headers = nullptr;
    FILE* file = nullptr;
    char error[CURL_ERROR_SIZE] = {};
};

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (transfer->file)
        return std::fwrite(data, 1, n, transfer->file);
    transfer->body->append(data, n);
    return n;
}

size_t WriteHeader(char* data, size_t size, size_t count, void* user)
{
    static_cast<Transfer*>(user)->headers->append(data, size * count);
    return size * count;
}

int NoProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return 0; }

bool InitializeCurl()
{
    static const bool ok = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    return ok;
}

struct Request {
    bool post = false;
    std::string url;
    std::vector<std::string> headerLines;
    std::string body;
    std::vector<std::pair<std::string, std::string>> params;
    bool followLocation = false;
    const std::wstring* downloadPath = nullptr;
};

struct CurlList {
    curl_slist* list = nullptr;
    ~CurlList() { curl_slist_free_all(list); }
};

WeHttpResponse Perform(const Request& request, const WeHttpPublic* pub)
{
    WeHttpResponse response;
    response.url = WeHttp::FullUrl(request.url, request.params);
    if (!InitializeCurl())
        return response;
    CURL* curl = curl_easy_init();
    if (!curl)
        return response;
    Transfer transfer;
    transfer.body = &response.body;
    transfer.headers = &response.headers;
    CurlList headers;
    for (const std::string& line : request.headerLines)
        headers.list = curl_slist_append(headers.list, line.c_str());

    curl_easy_setopt(curl, CURLOPT_URL, response.url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, WriteHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, NoProgress);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (response.url.compare(0, 5, "https") == 0) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (request.post) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    if (pub) {
        if (pub->timeout > 0)
            curl_easy_setopt(curl, CURLOPT_TIMEOUT, pub->timeout);
        if (pub->useProxy) {
            curl_easy_setopt(curl, CURLOPT_PROXY, pub->proxy.c_str());
            curl_easy_setopt(curl, CURLOPT_PROXYTYPE, pub->proxyType);
            if (!pub->proxyUserPwd.empty())
                curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, pub->proxyUserPwd.c_str());
        }
    }
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
    if (request.followLocation)
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_PRIVATE, &transfer);

    if (request.downloadPath) {
        transfer.file = _wfopen(request.downloadPath->c_str(), L"wb");
        if (!transfer.file) {
            curl_easy_cleanup(curl);
            return response; // nothing to write into: not a transfer
        }
    }
    response.curlCode = curl_easy_perform(curl);
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    response.code = static_cast<int32_t>(code);
    curl_off_t total = 0;
    curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME_T, &total);
    response.totalTime = total;
    if (transfer.file && std::fclose(transfer.file) != 0 && response.curlCode == CURLE_OK)
        response.curlCode = CURLE_WRITE_ERROR; // a file not fully written is no download
    curl_easy_cleanup(curl);
    return response;
}

WeHttpPublic MakePublic(const WeHttpStoreValues& values)
{
    WeHttpPublic pub;
    if (const auto& proxy = values.proxy) {
        char text[64] = {};
        std::snprintf(text, sizeof text, "%s:%d", proxy->Domain, static_cast<int>(proxy->Port));
        pub.proxy = text;
        if (proxy->UserName[0]) {
            char userPwd[80] = {};
            std::snprintf(userPwd, sizeof userPwd, "%s:%s", proxy->UserName, proxy->Password);
            pub.proxyUserPwd = userPwd;
        }
        switch (proxy->ProxyType) {
        case 1: pub.proxyType = CURLPROXY_HTTP; pub.useProxy = true; break;
        case 2: pub.proxyType = CURLPROXY_SOCKS5; pub.useProxy = true; break;
        case 3: pub.proxyType = CURLPROXY_SOCKS4; pub.useProxy = true; break;
        default: break;
        }
    }
    return pub;
}

void AddHeader(std::vector<std::string>& lines, const char* name, const std::string& value)
{
    if (!value.empty())
        lines.push_back(WeHttp::HeaderLine(name, value));
}

} // namespace

namespace WeHttp {

std::string PercentEncode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~')
            out += static_cast<char>(c);
        else if (c == ' ')
            out += '+';
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string HeaderLine(const std::string& name, const std::string& value)
{
    // Not cut to a fixed buffer: a long token cut short is a wrong token. A
    // line break would end the line early and start a header of the value's
    // choosing, so the value ends there.
    return name + ": " + value.substr(0, value.find_first_of("\r\n"));
}

std::string BuildBody(int32_t bodyStyle, const ParamReqInfo::Pairs& params)
{
    if (bodyStyle == 2) {
        std::string body;
        for (const auto& [value, name] : params) {
            if (!body.empty())
                body += '&';
            body += name + "=" + value;
        }
        return body;
    }
    if (bodyStyle != 0 && bodyStyle != 1)
        return {};
    // std::map gives ascending byte order and keeps a repeated name's last value.
    std::map<std::string, std::string> members;
    for (const auto& [value, name] : params)
        members[name] = value;
    // Only a value that is JSON text as a whole counts: "12abc" stays a
    // string instead of becoming 12.
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    builder["allowComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value object(Json::objectValue);
    for (const auto& [name, value] : members) {
        Json::Value parsed;
        if (bodyStyle == 1 && reader->parse(value.data(), value.data() + value.size(), &parsed, nullptr))
            object[name] = parsed;
        else
            object[name] = value;
    }
    std::string text = JsonCompact(object);
    if (bodyStyle == 0)
        text += '\n';
    return text;
}

std::string SortedValues(ParamReqInfo::Pairs& params)
{
    std::sort(params.begin(), params.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    std::string values;
    for (const auto& pair : params)
        values += pair.first;
    return values;
}

std::string Timestamp(int64_t unixSeconds) { return std::to_string(unixSeconds * 1000); }

std::string Md5Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

void AddSigningHeaders(ParamReqInfo& request, bool post, const WeHttpStoreValues& values, const std::string& timestamp,
                       std::vector<std::string>& lines)
{
    const int32_t style = request.signStyle;
    if (style == 6) {
        AddHeader(lines, "charset", "UTF-8");
        AddHeader(lines, "Content-Md5", request.tag);
        return;
    }
    if (style < 1 || style > 4 || (style == 3 && !post))
        return;
    const std::string& secret = (style == 2 || style == 3) ? values.signv1 : values.sign;
    const std::string signedPart = style == 3 ? request.body : SortedValues(request.params);
    const std::string signature = Md5Hex(secret + signedPart + timestamp);
    AddHeader(lines, "appcode", kAppCode);
    AddHeader(lines, "token", values.token);
    AddHeader(lines, "serverId", values.serverId);
    if (style == 4) {
        AddHeader(lines, "username", values.userName);
        AddHeader(lines, "channel", "pc");
    }
    AddHeader(lines, "timestamp", timestamp);
    AddHeader(lines, "signature", signature);
}

std::string FullUrl(const std::string& url, const std::vector<std::pair<std::string, std::string>>& params)
{
    if (params.empty() || url.empty())
        return url;
    std::string full = url;
    if (full.find('?') == std::string::npos)
        full += '?';
    else if (full.back() != '?' && full.back() != '&')
        full += '&'; // without it the first parameter would join the last one of the URL
    for (size_t i = 0; i < params.size(); ++i) {
        if (i)
            full += '&';
        full += params[i].first + "=" + params[i].second;
    }
    return full;
}

WeHttpPrepared Prepare(ParamReqInfo& request, bool post, const WeHttpStoreValues& values, const std::string& timestamp)
{
    WeHttpPrepared prepared;
    auto& lines = prepared.headerLines;
    if (post) {
        const int32_t style = request.bodyStyle;
        if ((style == 0 || style == 1 || style == 2) && request.body.empty())
            request.body = BuildBody(style, request.params);
        if (style == 0)
            AddHeader(lines, "Content-Type", "application/json");
        else if (style == 2)
            AddHeader(lines, "Content-Type", "application/x-www-form-urlencoded");
        if (style == 0 || style == 1 || style == 2)
            prepared.body = request.body;
    } else {
        AddHeader(lines, "Content-Type",
                  request.bodyStyle == 2 ? "application/x-www-form-urlencoded" : "application/json");
    }
    AddSigningHeaders(request, post, values, timestamp, lines);
    // Sent on POST as on GET: a caller's header that never leaves is of no use.
    for (const auto& [value, name] : request.headers)
        lines.push_back(HeaderLine(name, value));
    if (!post) {
        for (const auto& [value, name] : request.params) {
            if (request.encodeParams)
                prepared.params.emplace_back(PercentEncode(name), PercentEncode(value));
            else
                prepared.params.emplace_back(name, value);
        }
    }
    AddHeader(lines, "clientType", values.clientType);
    AddHeader(lines, "appVersion", values.appVersion);
    AddHeader(lines, "softName", values.softName);
    AddHeader(lines, "deviceid", values.deviceId);
    AddHeader(lines, "agent", values.agent);
    AddHeader(lines, "device", values.device);
    return prepared;
}

} // namespace WeHttp

WeHttpService::WeHttpService(WeHttpStore store) : m_store(std::move(store))
{
    const std::wstring base = m_store.baseDirectory.empty() ? ExecutableDirectory() : m_store.baseDirectory;
    m_downloadDirectory = base + L"\\Data\\Download";
    ::CreateDirectoryW(m_downloadDirectory.c_str(), nullptr); // only the last level; a failure shows at download
}

void WeHttpService::ResolveUrl(ParamReqInfo& request) const
{
    if (request.url.empty() && m_store.lookup)
        request.url = m_store.lookup(request.section, request.key);
}

bool WeHttpService::Exchange(const std::shared_ptr<ParamReqInfo>& request, bool post)
{
    if (!request)
        return false;
    ResolveUrl(*request);
    const WeHttpStoreValues values = m_store.values ? m_store.values() : WeHttpStoreValues{};
    WeHttpPrepared prepared =
        WeHttp::Prepare(*request, post, values, WeHttp::Timestamp(static_cast<int64_t>(std::time(nullptr))));
    Request transfer;
    transfer.post = post;
    transfer.url = request->url;
    transfer.headerLines = std::move(prepared.headerLines);
    transfer.body = std::move(prepared.body);
    transfer.params = std::move(prepared.params);
    const WeHttpPublic pub = MakePublic(values);
    const WeHttpResponse response = Perform(transfer, &pub);
    if (request->onResponse)
        request->onResponse(request, response.body.data(), static_cast<uint32_t>(response.body.size()));
    return true;
}

bool WeHttpService::get(std::shared_ptr<ParamReqInfo> request) { return Exchange(request, false); }

bool WeHttpService::post(std::shared_ptr<ParamReqInfo> request) { return Exchange(request, true); }

bool WeHttpService::downloadToFile(const std::string& url, const std::wstring& path)
{
    Request request;
    request.url = url;
    request.downloadPath = &path;
    const WeHttpResponse response = Perform(request, nullptr);
    return response.curlCode == CURLE_OK && response.code == 200;
}

bool WeHttpService::download(std::shared_ptr<ParamReqInfo> request)
{
    if (!request || request->body.empty())
        return false;
    ResolveUrl(*request);
    const std::string guid = newGuidString();
    if (guid.empty())
        return false;
    const std::wstring temporary = m_downloadDirectory + L"\\" + Utf8ToWide(guid);
    const std::wstring target = Utf8ToWide(request->body);
    if (!downloadToFile(request->url, temporary)) {
        ::DeleteFileW(temporary.c_str()); // a partial file is of no use to anyone
        return false;
    }
    // One replacing move instead of delete-then-move: a move that fails then
    // leaves the old target in place and is reported, not taken for success.
    const bool moved =
        ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
    ::DeleteFileW(temporary.c_str());
    return moved;
}

std::string newGuidString()
{
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid)))
        return {};
    char text[40] = {};
    std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(guid.Data1),
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                  guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string base64Encode(const std::string& bytes)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += table[(n >> 6) & 63];
        out += table[n & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t n = (uint8_t(bytes[i]) << 16) | (two ? uint8_t(bytes[i + 1]) << 8 : 0);
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += two ? table[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}
