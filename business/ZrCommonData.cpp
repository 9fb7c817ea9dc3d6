#include "business/ZrCommonData.h"

void ZrCommonData::Load()
{
    ReloadSector();
}

void ZrCommonData::ReloadSector()
{
    // The self-selected stock file reader feeds this list; until a user file
    // is read the list is empty rather than absent.
    auto stocks = std::make_shared<const StockList>();
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
