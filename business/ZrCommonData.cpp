#include "platform/Win32.h"
#include "business/ZrCommonData.h"

#include "business/UserFiles.h"
#include "platform/DeviceIdentity.h"
#include "platform/TextConv.h"

#include <pugixml.hpp>

#include <cstring>

namespace {

constexpr DWORD kSettingBuffer = 509;
constexpr DWORD kSettingMaxLength = 253;

std::wstring CurrentDirectory()
{
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    if (length == 0 || length >= MAX_PATH * 2)
        return {};
    return std::wstring(buffer, length);
}

std::wstring SettingsPath()
{
    const std::wstring current = CurrentDirectory();
    if (current.empty())
        return {};
    std::wstring directory = current + L"//Data" + L"//Common";
    ::CreateDirectoryW(directory.c_str(), nullptr);
    return directory + L"\\set.ini";
}

// Market ids of the self-selected stock file's market texts.
bool SectorMarketId(const std::string& market, uint8_t& id)
{
    static const struct {
        const char* name;
        uint8_t id;
    } kMarkets[] = {{"sh", 1}, {"sz", 0}, {"AHZSECTOR", 12}, {"bj", 3}};
    for (const auto& entry : kMarkets) {
        if (::lstrcmpiA(market.c_str(), entry.name) == 0 && market.size() == std::strlen(entry.name)) {
            id = entry.id;
            return true;
        }
    }
    return false;
}

} // namespace

void ZrCommonData::SetBaseDirectory(std::wstring directory)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_baseDirectory = std::move(directory);
}

std::wstring ZrCommonData::BaseDirectory() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_baseDirectory;
}

std::wstring ZrCommonData::ResolvedBase() const
{
    std::wstring base = BaseDirectory();
    return base.empty() ? UserFiles::ExeDirectory() : base;
}

void ZrCommonData::Load()
{
    auto proxy = std::make_shared<ZrProxyData>();

    Values values;
    values.deviceId = DeviceIdentity::diskSerial();
    values.device = DeviceIdentity::computerName();
    std::string osVersion;
    DeviceIdentity::osVersion(values.agent, osVersion);

    const std::wstring base = ResolvedBase();
    UserRecord user;
    UserRecordV2 user2;
    UserFiles::ReadUserRecords(base, user, user2);
    using UserFiles::FieldText;
    values.nickname = UserFiles::FieldWide(user.nickname, std::size(user.nickname));
    values.org = UserFiles::FieldWide(user.org, std::size(user.org));
    values.userName = FieldText(user2.username, sizeof(user2.username));
    values.token = FieldText(user.token, sizeof(user.token));
    values.appVersion = FieldText(user.appVersion, std::size(user.appVersion));
    values.softName = FieldText(user.softName, std::size(user.softName));
    values.distinctId = FieldText(user.distinctId, sizeof(user.distinctId));
    values.project = FieldText(user.project, std::size(user.project));
    values.sid = FieldText(user.sid, std::size(user.sid));
    values.reffer = FieldText(user.reffer, std::size(user.reffer));
    values.bid = FieldText(user.bid, std::size(user.bid));

    ::SetCurrentDirectoryW(base.c_str());
    pugi::xml_document document;
    ConfigFiles::Configuration configuration;
    if (ConfigFiles::LoadXml(L"Config//urlcore.xml", document))
        configuration = ConfigFiles::ReadUrlCore(document);
    ConfigFiles::MarketTable markets;
    if (ConfigFiles::LoadXml(L"Config//market.xml", document))
        markets = ConfigFiles::ReadMarkets(document);

    ConfigFiles::DomainConfig domains;
    if (ConfigFiles::LoadXml(L".//Config//domain_url_config_v1.xml", document))
        domains = ConfigFiles::ReadDomainConfig(document);
    document.reset();
    std::string setting;
    const int32_t channel =
        ReadSetting("Domain", "CurDoMainChannelNo", setting) ? ConfigFiles::CInt(setting.c_str()) : 0;
    WriteSetting("Domain", "CurDoMainChannelNo", std::to_string(channel));
    ConfigFiles::RewriteConfiguration(configuration, domains, channel);

    readProxySettings(*proxy);

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_configuration = std::move(configuration);
        m_markets = std::move(markets);
        m_channels = std::move(domains.channels);
        m_channel = channel;
        m_proxy = std::move(proxy);
        m_values = std::move(values);
    }
    const std::string serverId = Lookup("common", "serverid");
    const std::string clientType = Lookup("common", "clienttype");
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values.serverId = serverId;
        m_values.clientType = clientType;
    }
    ReloadSector();
}

void ZrCommonData::ReloadSector()
{
    const std::string user = UserName();
    std::shared_ptr<const StockList> stocks;
    if (auto data = UserFiles::ReadSelfSelectFile(ResolvedBase(), user, "System")) {
        auto list = std::make_shared<StockList>();
        for (const ZrSelfSSGroup& group : data->groups) {
            if (group.groupType != 0)
                continue;
            for (const ZrSelfSSStock& stock : group.stocks) {
                StockID id;
                if (!SectorMarketId(stock.securityMarket, id.market) || stock.securityNo.size() >= sizeof(id.code))
                    continue;
                std::memcpy(id.code, stock.securityNo.c_str(), stock.securityNo.size() + 1);
                list->push_back(id);
            }
        }
        stocks = std::move(list);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sectorStocks = std::move(stocks);
    }
    m_sectorGeneration.fetch_add(1);
}

std::shared_ptr<const ZrCommonData::StockList> ZrCommonData::SectorStocks() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sectorStocks;
}

std::string ZrCommonData::Lookup(const std::string& section, const std::string& key) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = m_configuration.find(section);
    if (s == m_configuration.end())
        return {};
    auto k = s->second.find(key);
    return k == s->second.end() ? std::string() : k->second;
}

std::string ZrCommonData::JumpUrlWith(const std::string& key, const std::vector<std::string>& texts) const
{
    const std::string format = Lookup("jumppage", key);
    if (format.empty())
        return {};
    return ConfigFiles::FormatTemplate(format, texts);
}

std::string ZrCommonData::JumpUrl(const std::string& key) const
{
    return JumpUrlWith(key, {});
}

std::string ZrCommonData::JumpUrl(const std::string& key, const std::string& text) const
{
    return JumpUrlWith(key, {text});
}

std::string ZrCommonData::JumpUrl(const std::string& key, const std::string& text1, const std::string& text2) const
{
    return JumpUrlWith(key, {text1, text2});
}

bool ZrCommonData::ReadSetting(const std::string& section, const std::string& key, std::string& value) const
{
    const std::wstring path = SettingsPath();
    if (path.empty())
        return false;
    wchar_t buffer[kSettingBuffer] = {};
    const DWORD length = ::GetPrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(), L"", buffer,
                                                    kSettingBuffer, path.c_str());
    if (length > kSettingMaxLength)
        return false;
    value = WideToUtf8(std::wstring_view(buffer, length));
    return true;
}

void ZrCommonData::WriteSetting(const std::string& section, const std::string& key, const std::string& value) const
{
    const std::wstring path = SettingsPath();
    if (!path.empty())
        ::WritePrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(), Utf8ToWide(value).c_str(),
                                     path.c_str());
}

void ZrCommonData::UpdateUser(const std::string& userName, const std::wstring& nickname, const std::string& token)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.userName = userName;
    m_values.nickname = nickname;
    m_values.token = token;
}

#define ZR_GETTER(Type, Name, member)                                                                                  \
    Type ZrCommonData::Name() const                                                                                    \
    {                                                                                                                  \
        std::lock_guard<std::mutex> lock(m_mutex);                                                                     \
        return member;                                                                                                 \
    }
ZR_GETTER(std::wstring, Nickname, m_values.nickname)
ZR_GETTER(std::wstring, Org, m_values.org)
ZR_GETTER(std::string, UserName, m_values.userName)
ZR_GETTER(std::string, Token, m_values.token)
ZR_GETTER(std::string, ServerId, m_values.serverId)
ZR_GETTER(std::string, ClientType, m_values.clientType)
ZR_GETTER(std::string, AppVersion, m_values.appVersion)
ZR_GETTER(std::string, DeviceId, m_values.deviceId)
ZR_GETTER(std::string, Device, m_values.device)
ZR_GETTER(std::string, Agent, m_values.agent)
ZR_GETTER(std::string, SoftName, m_values.softName)
ZR_GETTER(std::string, DistinctId, m_values.distinctId)
ZR_GETTER(std::string, Project, m_values.project)
ZR_GETTER(std::string, Sid, m_values.sid)
ZR_GETTER(std::string, Reffer, m_values.reffer)
ZR_GETTER(std::string, Bid, m_values.bid)
ZR_GETTER(ConfigFiles::Configuration, Configuration, m_configuration)
ZR_GETTER(ConfigFiles::MarketTable, Markets, m_markets)
ZR_GETTER(std::shared_ptr<const ZrProxyData>, Proxy, m_proxy)
ZR_GETTER(int32_t, LoginChannel, m_channel)
ZR_GETTER(std::vector<ConfigFiles::LoginChannel>, LoginChannels, m_channels)
#undef ZR_GETTER

bool ZrCommonData::MarketId(const std::string& code, int32_t& id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_markets.find(code);
    if (it == m_markets.end())
        return false;
    id = it->second;
    return true;
}
