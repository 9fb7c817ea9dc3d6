#pragma once
#include "platform/Win32.h"

#include "duilib/UIDefine.h"
#include "skin/SkinFolder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace DuiLib {
class CControlUI;
class CPaintManagerUI;
}

namespace VelUICore {

// Message number of a result posted to a receiver's window (WM_APP + 0x100).
constexpr UINT kAsyncResultMessage = 0x8100;

// The record a receiver gets for an asynchronous result or a container
// report. The payload belongs to whoever holds the record: a receiver that
// keeps it clears `release`.
struct AsyncMessage {
    int32_t receiverId = 0;
    int32_t context = 0;     // low 32 bits of the request's context (a container id)
    int32_t receiverTag = 0; // the receiver's skin generation
    int32_t reserved = 0;
    int32_t requestType = 0;
    void* payload = nullptr;
    void (*release)(void* payload) = nullptr;
};
static_assert(sizeof(void*) != 4 || sizeof(AsyncMessage) == 7 * 4, "seven 32-bit words in the 32-bit program");

// Releases the payload (unless taken) and frees a heap record.
void FreeAsyncMessage(AsyncMessage* message) noexcept;

using AsyncCallback = int32_t (*)(AsyncMessage* message, void* user);

class CContainerBase;

// A window's point of contact for the business core and its skin: constructing
// one registers it as a receiver, destroying it unregisters it. It applies the
// theme's global file to the window's paint manager, builds containers from
// templates and routes the toolkit's notifications to the container that owns
// the sender. The window's paint manager must outlive it (windows declare the
// paint manager first).
class CWorkspace : public DuiLib::INotifyUI {
public:
    static constexpr int kMaxReceivers = 32;

    CWorkspace();
    virtual ~CWorkspace();
    CWorkspace(const CWorkspace&) = delete;
    CWorkspace& operator=(const CWorkspace&) = delete;

    // Called by the window in its WM_CREATE; the calling thread becomes the
    // thread results are delivered on.
    void Bind(HWND window, DuiLib::CPaintManagerUI* paintManager);
    void SetCallback(AsyncCallback callback, void* user);

    // The toolkit's notifications of this window: handed to the container
    // whose root is the nearest tagged ancestor of the sender (or the sender).
    void Notify(DuiLib::TNotifyUI& msg) override;
    virtual int32_t OnAsyncResult(AsyncMessage* message);

    // Applies the loaded folder's fonts, styles and defaults; bumps the skin
    // generation. The folder must outlive the workspace's use of it.
    bool Initialize(SkinFolder* skinFolder);
    // Builds the named template under the window's root. On success the
    // workspace owns the container; on failure the caller still does.
    bool LoadContainer(CContainerBase* container, const std::wstring& templateName);
    void LoadFonts(const std::wstring& text);
    void LoadStyles(const std::wstring& text);
    // Re-creates existing scroll bars so they take the current default attributes.
    static void RefreshScrollBars(DuiLib::CControlUI* control);

    DuiLib::CPaintManagerUI* PaintManager() const { return m_paintManager; }
    size_t ContainerCount() const { return m_containers.size(); }

    // For a window's handler of kAsyncResultMessage: hands the posted record
    // (wParam) to OnAsyncResult when it is addressed to this workspace and its
    // generation, then frees it in every case.
    void OnPostedResult(WPARAM wParam);

    int32_t Id() const { return m_id; }
    int32_t SkinGeneration() const { return m_skinGeneration; }
    HWND Window() const { return m_window; }
    DWORD Thread() const { return m_thread; }

    // The receiver delivery: hands a result to the receiver with that id.
    // The payload is released here unless a receiver took it or it is posted;
    // returns true when OnAsyncResult ran or the record was posted.
    static bool Deliver(int32_t receiverId, int32_t context, int32_t requestType, void* payload,
                        void (*release)(void*));

protected:
    int32_t m_id = 0;
    int32_t m_skinGeneration = 0;
    HWND m_window = nullptr;
    DWORD m_thread = 0;
    DuiLib::CPaintManagerUI* m_paintManager = nullptr;
    SkinFolder* m_skinFolder = nullptr;
    std::vector<std::unique_ptr<CContainerBase>> m_containers;
    std::vector<std::pair<int32_t, bool>> m_fontsAdded;  // (font id, shared)
    AsyncCallback m_callback = nullptr;
    void* m_user = nullptr;

private:
    static std::atomic<CWorkspace*> s_slots[kMaxReceivers];
    static std::atomic<int32_t> s_liveCount;
    static std::atomic<int32_t> s_nextId;
};

// What windows embed.
class CMainWorkspace : public CWorkspace {
public:
    CMainWorkspace() = default;
    ~CMainWorkspace() override;
};

} // namespace VelUICore
