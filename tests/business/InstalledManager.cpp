#include "tests/business/InstalledManager.h"

#include "business/UserFiles.h"
#include "business/ZrUserInfoMgr.h"
#include "tests/support/SandboxPorts.h"
#include "tests/support/TempDir.h"

#include <thread>

void InstalledManagerTest::SetUp()
{
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    m_cwd = current;

    port = ReadSandboxPorts()["port"];
    ASSERT_NE(port, 0) << "sandbox port file missing (VELTRAY_SANDBOX_PORT_FILE)";
    m_installDir = UserFiles::ExeDirectory();
    ASSERT_TRUE(FileExists(m_installDir + L"\\Config\\urlcore.xml")) << "no sample installation beside the test";
    // Each test starts without the head image the start-up refresh fetches.
    ::DeleteFileW((m_installDir + L"\\Data\\File\\sandboxuser").c_str());

    m_window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(m_window, nullptr);
    m_slot = m_window;
    manager = std::make_unique<ZrBusinessManager>();
    manager->SetNotifyWindow(&m_slot);
    manager->Init();
    // Init queues a refresh of the user; the tests change the store's user
    // values themselves, so they start once it has taken its answer over.
    ASSERT_TRUE(WaitFor([this] { return Store().Nickname() == L"林间听雨"; })) << "start-up refresh did not arrive";
}

void InstalledManagerTest::TearDown()
{
    if (manager) {
        manager->Uninit();
        manager->SetNotifyWindow(nullptr);
    }
    Drain(nullptr);
    if (m_window)
        ::DestroyWindow(m_window);
    manager.reset();
    ::SetCurrentDirectoryW(m_cwd.c_str());
}

std::string InstalledManagerTest::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string InstalledManagerTest::Fetch(const std::string& url)
{
    auto request = std::make_shared<ParamReqInfo>();
    request->url = url;
    request->signStyle = 0;
    std::string body;
    request->onResponse = [&](const auto&, const char* bytes, uint32_t length) { body.assign(bytes ? bytes : "", length); };
    manager->HttpGet(request, true);
    return body;
}

std::vector<Json::Value> InstalledManagerTest::Records(const std::string& path)
{
    Json::Value all;
    Json::Reader().parse(Fetch(Url("/http/records")), all);
    std::vector<Json::Value> found;
    for (const auto& record : all)
        if (record.isObject() && record["path"].asString() == path)
            found.push_back(record);
    return found;
}

void InstalledManagerTest::Drain(std::vector<std::shared_ptr<DataCoreResponse>>* into)
{
    MSG msg{};
    while (m_window && ::PeekMessageW(&msg, m_window, 0, 0, PM_REMOVE)) {
        if (msg.message != kResponseNotifyMessage) {
            ::DispatchMessageW(&msg);
            continue;
        }
        std::unique_ptr<ResponseEnvelope> envelope(reinterpret_cast<ResponseEnvelope*>(msg.lParam));
        if (into && envelope)
            into->push_back(envelope->response);
    }
}

std::vector<std::shared_ptr<DataCoreResponse>> InstalledManagerTest::Responses(size_t count,
                                                                               std::chrono::milliseconds bound)
{
    std::vector<std::shared_ptr<DataCoreResponse>> got;
    const auto end = std::chrono::steady_clock::now() + bound;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Drain(&got);
    }
    return got;
}

bool InstalledManagerTest::WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Drain(nullptr);
    }
    return true;
}
