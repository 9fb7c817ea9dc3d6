#include "platform/Win32.h"

#include "skin/Workspace.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using VelUICore::AsyncMessage;
using VelUICore::CWorkspace;

namespace {

int g_released = 0;

struct Payload {
    int value;
};

void ReleasePayload(void* payload)
{
    ++g_released;
    delete static_cast<Payload*>(payload);
}

struct Seen {
    int calls = 0;
    AsyncMessage last;
    DWORD thread = 0;
    bool take = false;
    Payload* taken = nullptr;
};

int32_t Record(AsyncMessage* message, void* user)
{
    auto* seen = static_cast<Seen*>(user);
    ++seen->calls;
    seen->last = *message;
    seen->thread = ::GetCurrentThreadId();
    if (seen->take) {
        seen->taken = static_cast<Payload*>(message->payload);
        message->release = nullptr;
    }
    return 7;
}

// A message-only window whose procedure hands posted results to a workspace.
class ReceiverWindow {
public:
    explicit ReceiverWindow(CWorkspace* workspace)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelTrayWorkspaceTest";
        ::RegisterClassW(&wc);
        m_hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(workspace));
    }
    ~ReceiverWindow()
    {
        if (m_hwnd)
            ::DestroyWindow(m_hwnd);
    }
    HWND Get() const { return m_hwnd; }
    void Destroy()
    {
        ::DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == VelUICore::kAsyncResultMessage) {
            auto* workspace = reinterpret_cast<CWorkspace*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (workspace)
                workspace->OnPostedResult(wParam);
            else
                VelUICore::FreeAsyncMessage(reinterpret_cast<AsyncMessage*>(wParam));
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
};

// Pumps this thread's messages until the predicate holds or 10 s pass.
template <typename Pred>
bool PumpUntil(Pred done)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > 10000)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    return true;
}

bool Deliver(int32_t receiver, int32_t context, int value = 1)
{
    return CWorkspace::Deliver(receiver, context, 60001, new Payload{value}, &ReleasePayload);
}

} // namespace

TEST(Workspace, RegistryHoldsThirtyTwoAndReusesSlots)
{
    std::vector<std::unique_ptr<CWorkspace>> live;
    for (int i = 0; i < CWorkspace::kMaxReceivers; ++i) {
        live.push_back(std::make_unique<CWorkspace>());
        EXPECT_NE(live.back()->Id(), 0);
        for (size_t j = 0; j + 1 < live.size(); ++j)
            EXPECT_NE(live[j]->Id(), live.back()->Id());
    }
    {
        CWorkspace extra;
        EXPECT_EQ(extra.Id(), 0);
        ReceiverWindow window(&extra);
        extra.Bind(window.Get(), nullptr);
        EXPECT_EQ(extra.Window(), nullptr) << "an unregistered workspace binds to nothing";
    }
    const int32_t freed = live[5]->Id();
    live.erase(live.begin() + 5);
    CWorkspace again;
    EXPECT_NE(again.Id(), 0);
    EXPECT_NE(again.Id(), freed) << "ids are never reused";

    // Deliveries to the removed id find nothing.
    g_released = 0;
    EXPECT_FALSE(Deliver(freed, 1));
    EXPECT_EQ(g_released, 1);
}

TEST(Workspace, DeliveryOnTheReceiversThread)
{
    CWorkspace workspace;
    ReceiverWindow window(&workspace);
    Seen seen;
    workspace.SetCallback(&Record, &seen);

    g_released = 0;
    // Not bound yet: no window to deliver to.
    EXPECT_FALSE(Deliver(workspace.Id(), 9));
    EXPECT_EQ(g_released, 1);

    workspace.Bind(window.Get(), nullptr);
    ASSERT_EQ(workspace.Window(), window.Get());

    struct Case {
        int32_t receiver;
        int32_t context;
        bool delivered;
    } cases[] = {
        {workspace.Id(), 0, false},      // context 0 is never delivered
        {workspace.Id() + 1000, 3, false}, // nobody has this id
        {0, 3, false},
        {workspace.Id(), 3, true},
        {workspace.Id(), -1, true},
    };
    for (const Case& c : cases) {
        g_released = 0;
        seen = Seen{};
        EXPECT_EQ(Deliver(c.receiver, c.context), c.delivered);
        EXPECT_EQ(seen.calls, c.delivered ? 1 : 0);
        EXPECT_EQ(g_released, 1) << "the payload is released on every path";
    }
    seen = Seen{};
    ASSERT_TRUE(Deliver(workspace.Id(), 42, 5));
    EXPECT_EQ(seen.last.receiverId, workspace.Id());
    EXPECT_EQ(seen.last.context, 42);
    EXPECT_EQ(seen.last.receiverTag, workspace.SkinGeneration());
    EXPECT_EQ(seen.last.reserved, 0);
    EXPECT_EQ(seen.last.requestType, 60001);
    EXPECT_EQ(seen.thread, ::GetCurrentThreadId());

    // A receiver that clears the release function keeps the payload.
    g_released = 0;
    seen = Seen{};
    seen.take = true;
    ASSERT_TRUE(Deliver(workspace.Id(), 42, 6));
    EXPECT_EQ(g_released, 0);
    ASSERT_NE(seen.taken, nullptr);
    EXPECT_EQ(seen.taken->value, 6);
    ReleasePayload(seen.taken);
}

TEST(Workspace, DeliveryFromAnotherThreadIsPosted)
{
    CWorkspace workspace;
    ReceiverWindow window(&workspace);
    workspace.Bind(window.Get(), nullptr);
    Seen seen;
    workspace.SetCallback(&Record, &seen);

    g_released = 0;
    bool delivered = false;
    std::thread worker([&] { delivered = Deliver(workspace.Id(), 77, 8); });
    worker.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(seen.calls, 0) << "not called on the worker";
    ASSERT_TRUE(PumpUntil([&] { return seen.calls == 1; }));
    EXPECT_EQ(seen.thread, ::GetCurrentThreadId());
    EXPECT_EQ(seen.last.context, 77);
    EXPECT_EQ(g_released, 1);

    // A window that is gone: posting fails and the payload is released.
    g_released = 0;
    window.Destroy();
    std::thread late([&] { delivered = Deliver(workspace.Id(), 77); });
    late.join();
    EXPECT_FALSE(delivered);
    EXPECT_EQ(g_released, 1);
}

TEST(Workspace, PostedRecordOfAnotherGenerationIsDropped)
{
    CWorkspace workspace;
    Seen seen;
    workspace.SetCallback(&Record, &seen);
    g_released = 0;
    auto* stale = new AsyncMessage{workspace.Id(), 5, workspace.SkinGeneration() + 1, 0, 60001, new Payload{1}, &ReleasePayload};
    workspace.OnPostedResult(reinterpret_cast<WPARAM>(stale));
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(g_released, 1);

    auto* current = new AsyncMessage{workspace.Id(), 5, workspace.SkinGeneration(), 0, 60001, new Payload{1}, &ReleasePayload};
    workspace.OnPostedResult(reinterpret_cast<WPARAM>(current));
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(g_released, 2);

    // Without a callback the result is 0 and nothing else happens.
    CWorkspace bare;
    AsyncMessage message;
    EXPECT_EQ(bare.OnAsyncResult(&message), 0);
}
