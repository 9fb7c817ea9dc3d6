#pragma once
#include "platform/Win32.h"

#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A business manager of the test's own, running from the sample installation
// beside the test executable (made against the sandbox by the CTest fixture),
// with a message-only window on the test thread to receive its responses.
class InstalledManagerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Url(const std::string& path) const;
    // The body a plain GET of the URL brings back.
    std::string Fetch(const std::string& url);
    // The sandbox's records of requests to the path, oldest first.
    std::vector<Json::Value> Records(const std::string& path);
    // Pumps the test thread's messages until count responses have arrived.
    std::vector<std::shared_ptr<DataCoreResponse>> Responses(size_t count,
                                                             std::chrono::milliseconds bound = std::chrono::seconds(15));
    // Pumps messages while waiting, so posted responses never pile up.
    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound = std::chrono::seconds(15));

    template <typename Mgr>
    Mgr* Manager()
    {
        for (auto& [index, manager] : this->manager->Managers())
            if (auto* found = dynamic_cast<Mgr*>(manager.get()))
                return found;
        return nullptr;
    }

    ZrCommonData& Store() { return *manager->Data(); }
    const std::wstring& InstallDir() const { return m_installDir; }

    std::unique_ptr<ZrBusinessManager> manager;
    int port = 0;

private:
    void Drain(std::vector<std::shared_ptr<DataCoreResponse>>* into);

    std::wstring m_cwd;
    std::wstring m_installDir;
    HWND m_window = nullptr;
    std::atomic<HWND> m_slot{nullptr};
};

// Sends a request through the manager and keeps what onImmediate got.
struct ImmediateProbe {
    std::vector<std::shared_ptr<DataCoreResponse>> answers;
    void Attach(DataCoreRequest& request)
    {
        request.onImmediate = [this](const std::shared_ptr<DataCoreResponse>& r) { answers.push_back(r); };
    }
};
