#include "platform/Win32.h"
#include "skin/Workspace.h"

#include <memory>

namespace VelUICore {

std::atomic<CWorkspace*> CWorkspace::s_slots[CWorkspace::kMaxReceivers];
std::atomic<int32_t> CWorkspace::s_liveCount{0};
std::atomic<int32_t> CWorkspace::s_nextId{0};

void FreeAsyncMessage(AsyncMessage* message) noexcept
{
    if (!message)
        return;
    if (message->release && message->payload)
        message->release(message->payload);
    delete message;
}

CWorkspace::CWorkspace()
{
    if (s_liveCount.fetch_add(1) + 1 > kMaxReceivers) {
        // Full: this workspace stays id 0, binds to nothing, receives nothing.
        s_liveCount.fetch_sub(1);
        return;
    }
    m_id = s_nextId.fetch_add(1) + 1;
    for (auto& slot : s_slots) {
        CWorkspace* empty = nullptr;
        if (slot.compare_exchange_strong(empty, this))
            break;
    }
}

CWorkspace::~CWorkspace()
{
    for (auto& slot : s_slots) {
        CWorkspace* self = this;
        slot.compare_exchange_strong(self, nullptr);
    }
    if (m_id != 0)
        s_liveCount.fetch_sub(1);
}

void CWorkspace::Bind(HWND window, DuiLib::CPaintManagerUI* paintManager)
{
    if (!window || m_id == 0 || m_paintManager || m_window)
        return;
    m_window = window;
    m_paintManager = paintManager;
    m_thread = ::GetCurrentThreadId();
    // Seam: the toolkit's notifier registration joins here with the skin layer.
}

void CWorkspace::SetCallback(AsyncCallback callback, void* user)
{
    m_callback = callback;
    m_user = user;
}

int32_t CWorkspace::OnAsyncResult(AsyncMessage* message)
{
    return m_callback ? m_callback(message, m_user) : 0;
}

void CWorkspace::OnPostedResult(WPARAM wParam)
{
    auto* message = reinterpret_cast<AsyncMessage*>(wParam);
    if (!message)
        return;
    // A record of an earlier skin generation belongs to containers that no
    // longer exist.
    if (m_id != 0 && message->receiverId == m_id && message->receiverTag == m_skinGeneration)
        OnAsyncResult(message);
    FreeAsyncMessage(message);
}

bool CWorkspace::Deliver(int32_t receiverId, int32_t context, int32_t requestType, void* payload,
                         void (*release)(void*))
{
    auto dropPayload = [&] {
        if (release && payload)
            release(payload);
        return false;
    };
    if (receiverId == 0)
        return dropPayload();
    CWorkspace* receiver = nullptr;
    for (auto& slot : s_slots) {
        CWorkspace* candidate = slot.load();
        if (candidate && candidate->m_id == receiverId) {
            receiver = candidate;
            break;
        }
    }
    if (!receiver || !receiver->m_window || context == 0)
        return dropPayload();

    auto message = std::make_unique<AsyncMessage>();
    message->receiverId = receiver->m_id;
    message->context = context;
    message->receiverTag = receiver->m_skinGeneration;
    message->requestType = requestType;
    message->payload = payload;
    message->release = release;

    if (::GetCurrentThreadId() == receiver->m_thread) {
        receiver->OnAsyncResult(message.get());
        FreeAsyncMessage(message.release());
        return true;
    }
    if (::PostMessageW(receiver->m_window, kAsyncResultMessage, reinterpret_cast<WPARAM>(message.get()), 0)) {
        message.release();
        return true;
    }
    FreeAsyncMessage(message.release());
    return false;
}

} // namespace VelUICore
