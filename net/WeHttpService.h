#pragma once
#include "business/ParamReqInfo.h"
#include "net/ProxySettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// What one request reads from the common data store. The business manager
// supplies it from its store (copied out under the store's mutex); net cannot
// link the business library, which links net.
struct WeHttpStoreValues {
    std::string userName, token, serverId, clientType, appVersion, softName, deviceId, agent, device;
    std::string sign;   // urldata/sign
    std::string signv1; // urldata/signv1
    std::shared_ptr<const ZrProxyData> proxy;
};

struct WeHttpStore {
    std::function<std::string(const std::string& section, const std::string& key)> lookup;
    std::function<WeHttpStoreValues()> values;
    // Stands for the executable's directory; empty means the executable's own.
    std::wstring baseDirectory;
};

struct WeHttpResponse {
    int32_t code = 0;
    std::string body;
    std::string headers;
    std::string url;
    int32_t curlCode = -1;
    int64_t totalTime = 0;
};

// Header lines and body of one request before it is sent; the pure part of
// get and post, kept apart so that it can be checked without a server.
struct WeHttpPrepared {
    std::vector<std::string> headerLines;
    std::string body;
    std::vector<std::pair<std::string, std::string>> params; // (name, value)
};

namespace WeHttp {

// Letters, digits and "-_.~" stay, a space becomes "+", every other byte %XX.
std::string PercentEncode(const std::string& text);
// "name: value", whatever the length; the value ends at a CR or LF.
std::string HeaderLine(const std::string& name, const std::string& value);
// The body of body styles 0-2 from (value, name) pairs; other styles give "".
std::string BuildBody(int32_t bodyStyle, const ParamReqInfo::Pairs& params);
// Sorts params by name in place and concatenates their values.
std::string SortedValues(ParamReqInfo::Pairs& params);
// The timestamp written in signing headers: seconds * 1000.
std::string Timestamp(int64_t unixSeconds);
std::string Md5Hex(const std::string& bytes);
// Appends the signing header lines of request.signStyle (sorting its params
// where the style signs them). post selects style 3's body signing.
void AddSigningHeaders(ParamReqInfo& request, bool post, const WeHttpStoreValues& values, const std::string& timestamp,
                       std::vector<std::string>& lines);
// URL + query: "?" when the URL holds none, "&" after an existing query.
std::string FullUrl(const std::string& url, const std::vector<std::pair<std::string, std::string>>& params);

// Builds everything get (post = false) or post sends, in the order the
// vendor's services expect. May fill request.body (post) and sort params.
WeHttpPrepared Prepare(ParamReqInfo& request, bool post, const WeHttpStoreValues& values, const std::string& timestamp);

} // namespace WeHttp

// Every HTTP(S) exchange with the vendor's services. Each call uses its own
// libcurl handle on the calling thread; no connection is reused.
class WeHttpService {
public:
    explicit WeHttpService(WeHttpStore store);

    bool get(std::shared_ptr<ParamReqInfo> request);
    bool post(std::shared_ptr<ParamReqInfo> request);
    // Fetches url into the file named by body (UTF-8), through a temporary
    // file in the download directory; the target is untouched on failure.
    bool download(std::shared_ptr<ParamReqInfo> request);
    // The bare transfer: true only for a completed transfer with status 200.
    bool downloadToFile(const std::string& url, const std::wstring& path);

    const std::wstring& DownloadDirectory() const { return m_downloadDirectory; }

private:
    void ResolveUrl(ParamReqInfo& request) const;
    bool Exchange(const std::shared_ptr<ParamReqInfo>& request, bool post);

    WeHttpStore m_store;
    std::wstring m_downloadDirectory;
};

// A new GUID as 32 lower-case hex digits; empty when none could be made.
std::string newGuidString();
// RFC 4648 base64, standard alphabet, "=" padding.
std::string base64Encode(const std::string& bytes);
