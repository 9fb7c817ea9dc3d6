#pragma once
#include "business/DataCoreRequest.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The common data store: every address, secret and user value the business
// core needs. Every read hands out a copy taken under the mutex.
class ZrCommonData {
public:
    using StockList = std::vector<StockID>;

    ZrCommonData() = default;
    ZrCommonData(const ZrCommonData&) = delete;
    ZrCommonData& operator=(const ZrCommonData&) = delete;

    // Reads everything again; readers see either the old or the new values.
    void Load();
    // Rebuilds the sector stocks from the user's self-selected stock file.
    void ReloadSector();
    std::shared_ptr<const StockList> SectorStocks() const;
    // How often the sector stocks were rebuilt; lets callers tell a re-read
    // from a stale list.
    uint64_t SectorGeneration() const { return m_sectorGeneration.load(); }

    // The request counter before its increment.
    int64_t NextSerial() { return m_serial.fetch_add(1); }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const StockList> m_sectorStocks;
    std::atomic<uint64_t> m_sectorGeneration{0};
    std::atomic<int64_t> m_serial{1000};
};
