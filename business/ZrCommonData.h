#pragma once
#include "business/ConfigFiles.h"
#include "business/DataCoreRequest.h"
#include "net/ProxySettings.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The common data store: every address, secret and user value the business
// core needs. Every read hands out a copy taken under the mutex; Load reads
// the files outside it and swaps the new values in at once.
class ZrCommonData {
public:
    using StockList = std::vector<StockID>;

    ZrCommonData() = default;
    ZrCommonData(const ZrCommonData&) = delete;
    ZrCommonData& operator=(const ZrCommonData&) = delete;

    // The directory that stands for the executable's directory; empty (the
    // default) means the executable's own.
    void SetBaseDirectory(std::wstring directory);
    std::wstring BaseDirectory() const;

    // Reads everything again; readers see either the old or the new values.
    // Sets the process's current directory to the base directory.
    void Load();
    // Rebuilds the sector stocks from the user's self-selected stock file.
    void ReloadSector();
    std::shared_ptr<const StockList> SectorStocks() const;
    // How often the sector stocks were rebuilt; lets callers tell a re-read
    // from a stale list.
    uint64_t SectorGeneration() const { return m_sectorGeneration.load(); }

    // The request counter before its increment.
    int64_t NextSerial() { return m_serial.fetch_add(1); }

    std::string Lookup(const std::string& section, const std::string& key) const;
    std::string JumpUrl(const std::string& key) const;
    std::string JumpUrl(const std::string& key, const std::string& text) const;
    std::string JumpUrl(const std::string& key, const std::string& text1, const std::string& text2) const;

    // set.ini under current directory + "//Data//Common".
    bool ReadSetting(const std::string& section, const std::string& key, std::string& value) const;
    void WriteSetting(const std::string& section, const std::string& key, const std::string& value) const;

    // What a successful user-info refresh learnt; kept until the next Load.
    void UpdateUser(const std::string& userName, const std::wstring& nickname, const std::string& token);

    std::wstring Nickname() const;
    std::wstring Org() const;
    std::string UserName() const;
    std::string Token() const;
    std::string ServerId() const;
    std::string ClientType() const;
    std::string AppVersion() const;
    std::string DeviceId() const;
    std::string Device() const;
    std::string Agent() const;
    std::string SoftName() const;
    std::string DistinctId() const;
    std::string Project() const;
    std::string Sid() const;
    std::string Reffer() const;
    std::string Bid() const;
    ConfigFiles::Configuration Configuration() const;
    ConfigFiles::MarketTable Markets() const;
    // Market id of a market code, or false when the table has none.
    bool MarketId(const std::string& code, int32_t& id) const;
    std::shared_ptr<const ZrProxyData> Proxy() const;
    // The login channel selected by the last Load and the channel list.
    int32_t LoginChannel() const;
    std::vector<ConfigFiles::LoginChannel> LoginChannels() const;

private:
    struct Values {
        std::wstring nickname, org;
        std::string userName, token, serverId, clientType, appVersion, deviceId, device, agent, softName, distinctId,
            project, sid, reffer, bid;
    };

    std::string JumpUrlWith(const std::string& key, const std::vector<std::string>& texts) const;
    std::wstring ResolvedBase() const;

    mutable std::mutex m_mutex;
    std::wstring m_baseDirectory;
    Values m_values;
    ConfigFiles::Configuration m_configuration;
    ConfigFiles::MarketTable m_markets;
    std::vector<ConfigFiles::LoginChannel> m_channels;
    int32_t m_channel = 0;
    std::shared_ptr<const ZrProxyData> m_proxy;
    std::shared_ptr<const StockList> m_sectorStocks;
    std::atomic<uint64_t> m_sectorGeneration{0};
    std::atomic<int64_t> m_serial{1000};
};
