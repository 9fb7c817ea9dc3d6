#include "platform/Win32.h"
#include "app/VelTrayDlg.h"

#include "analytics/UsageAnalytics.h"

#include "app/AppMessages.h"
#include "app/BallSettings.h"
#include "app/StationActivation.h"
#include "app/UiSlowWatch.h"
#include "business/ZrBusinessManager.h"
#include "business/ZrJumpHandOff.h"
#include "platform/DebugSink.h"
#include "platform/TrayIni.h"
#include "skin/Workspace.h"

#include <cstring>

static_assert(kResponseNotifyMsg == kResponseNotifyMessage, "one response message number");

CVelTrayDlg::~CVelTrayDlg()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

bool CVelTrayDlg::Create(HINSTANCE instance)
{
    HWND hwnd = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(kIddMainDialog), nullptr, &CVelTrayDlg::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void CVelTrayDlg::DestroyWindow()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

INT_PTR CALLBACK CVelTrayDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CVelTrayDlg* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CVelTrayDlg*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
    } else {
        self = reinterpret_cast<CVelTrayDlg*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    const INT_PTR result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        // The main window is gone: the message loop ends.
        ::PostQuitMessage(0);
    }
    return result;
}

INT_PTR CVelTrayDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            DestroyWindow();
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        DestroyWindow();
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_SYSCOMMAND:
        // The wizard's About item has no box behind it: the dialog is never shown.
        if ((wParam & 0xFFF0) == kIdmAboutBox)
            return TRUE;
        return FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_icon.Get());
    case kRequestNotifyMessage:
        OnRequestNotify(lParam);
        break;
    case kResponseNotifyMessage:
        OnResponseNotify(lParam);
        break;
    case kTrayNotifyMessage:
        OnTrayNotify(lParam);
        break;
    case kOpenStationMessage:
        OnOpenStation();
        break;
    case kRefreshDoneMessage:
        OnRefreshDone();
        break;
    default:
        return FALSE;
    }
    // The WM_USER and WM_APP handlers return 0.
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

BOOL CVelTrayDlg::OnInitDialog()
{
    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t about[128] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), kIdsAboutBox, about, 128) > 0) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, kIdmAboutBox, about);
        }
    }

    m_icon.Reset(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdrMainIcon),
                                                 IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Get()));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon.Get()));

    // Seam: the notification-area icon is added here.

    // Reading the switch file also creates it on a fresh installation.
    // ApplyAutoStart then mirrors it into the Run key at every start.
    ApplyAutoStart(TrayIni().ReadInt(L"startup", 0) != 0);

    m_windowHandle.store(m_hWnd);
    ZrBusinessManager::Instance().SetNotifyWindow(&m_windowHandle);

    UpdateStationState(FindAnyStationProcess() != 0);

    const int closedown = TrayIni().ReadInt(L"closedown", 0);
    (void)closedown; // Seam: the ball is created here when closedown is 0.

    // Last, so that a second VelTray finds the single-instance mutex taken
    // only after it has done everything a first one would.
    if (m_stationLink.Start(&CVelTrayDlg::OnStationData, &CVelTrayDlg::OnStationState, this)) {
        SetJumpHandOff([this](const std::wstring& key, const std::wstring& url, bool launchOnly) {
            if (m_hWnd && ::IsWindow(m_hWnd))
                JumpToStation(key, url, launchOnly);
        });
    } else {
        DebugOutput(L"[VelTray] ipc server start failed: already running\n");
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return TRUE;
    }
    DebugOutput(L"[VelTray] main dialog ready\n");
    return TRUE;
}

void CVelTrayDlg::OnDestroy()
{
    DebugOutput(L"[VelTray] main dialog closing\n");
    if (UsageAnalytics* analytics = ZrBusinessManager::Instance().Analytics())
        analytics->SpiritExit();

    SetJumpHandOff(nullptr);
    ZrBusinessManager::Instance().SetNotifyWindow(nullptr);
    m_windowHandle.store(nullptr);

    // Seams, in this order: the ball, the tray menu.
    m_stationLink.Stop();
    // Seam: the notification-area icon is removed here.
    m_trayIconAdded = 0;
}

void CVelTrayDlg::UpdateStationState(bool running)
{
    if (running == m_stationRunning)
        return;
    m_stationRunning = running;
    DebugOutput(running ? L"[VelTray] station enter -> tray push disconnect\n"
                        : L"[VelTray] station exit -> tray push reconnect\n");
    ZrBusinessManager::Instance().SetStationRunning(running);
    SyncBallStationState();
}

void CVelTrayDlg::SyncBallStationState()
{
    // Seam: when the ball exists, its case-push switch follows
    // !m_stationRunning. There is no ball in this build, so nothing holds it.
}

void CVelTrayDlg::SetBallClosed(bool closed)
{
    // Seam: with a ball whose window exists, closing is its CloseBall and
    // reopening its Create or ReopenBall followed by the start event.
    if (closed) {
        TrayIni().WriteInt(L"closedown", 1);
        DebugOutput(L"[VelTray] ball closed by station: closedown=1\n");
        return;
    }
    // Without a ball nothing can be shown now; the wish is kept for the next
    // start, where a ball would be created.
    TrayIni().WriteInt(L"closedown", 0);
    DebugOutput(L"[VelTray] ball reopen by station: no ball in this build, closedown=0 stored\n");
    SyncBallStationState();
}

void CVelTrayDlg::ApplyAutoStart(bool on)
{
    const TrayIni trayIni;
    BallSettings settings;
    settings.Load(trayIni);
    settings.values[BallSettings::kStartup] = on;
    settings.Save(trayIni);
    DebugPrintf(L"[VelTray] auto-start %ls\n", on ? L"on" : L"off");
}

void CVelTrayDlg::ActivateStation()
{
    if (!BringStationForward(m_stationLink))
        return;
    // Seam: a ball hidden without a reason is shown here (tray_open).
}

void CVelTrayDlg::JumpToStation(const std::wstring& key, const std::wstring& url, bool launchOnly)
{
    ::JumpToStation(m_stationLink, TrayIni(), key, url, launchOnly);
}

void CVelTrayDlg::OnStationData(void* context, int32_t command, const void* data, int32_t length)
{
    static_cast<CVelTrayDlg*>(context)->OnStationCommand(command, data, length);
}

void CVelTrayDlg::OnStationState(void* context, int32_t kind)
{
    auto* self = static_cast<CVelTrayDlg*>(context);
    switch (kind) {
    case kIpcStatePeerEnded:
        self->UpdateStationState(false);
        break;
    case kIpcStatePeerFound:
        self->UpdateStationState(true);
        break;
    default:
        DebugOutput(L"[VelTray] ipc state changed\r\n");
        break;
    }
}

void CVelTrayDlg::OnStationCommand(int32_t command, const void* data, int32_t length)
{
    UiSlowWatch watch("IpcCommand");
    const auto word = [data](int index) {
        int32_t value;
        std::memcpy(&value, static_cast<const uint8_t*>(data) + index * 4, sizeof(value));
        return value;
    };
    const bool hasValue = data && length >= 4;
    switch (command) {
    case kIpcCmdStationState:
        DebugOutput(L"[VelTray] ipc state changed\r\n");
        break;
    case kIpcCmdBallClosed:
        if (hasValue)
            SetBallClosed(word(0) != 0);
        break;
    case kIpcCmdAutoStart:
        if (hasValue)
            ApplyAutoStart(word(0) != 0);
        break;
    case kIpcCmdReload: {
        DebugOutput(L"[VelTray] station reload requested\n");
        // The completion runs on a worker: it reads the handle variable, which
        // is zeroed before the window goes away.
        std::atomic<HWND>* handle = &m_windowHandle;
        ZrBusinessManager::Instance().Reload([handle]() {
            if (HWND hwnd = handle->load())
                ::PostMessageW(hwnd, kRefreshDoneMessage, 0, 0);
        });
        break;
    }
    case kIpcCmdNotify:
        if (data && length >= 8) {
            DebugPrintf(L"[VelTray] station notify code=%d param=%d\n", word(0), word(1));
            ZrBusinessManager::Instance().NotifyAll(word(0), word(1));
        }
        break;
    default:
        break;
    }
}

void CVelTrayDlg::OnRequestNotify(LPARAM lParam)
{
    UiSlowWatch watch("RequestNotify");
    // Nothing in the program posts requests this way; an envelope that
    // arrives anyway is freed, not leaked.
    struct RequestEnvelope {
        std::shared_ptr<DataCoreRequest> request;
    };
    delete reinterpret_cast<RequestEnvelope*>(lParam);
}

void CVelTrayDlg::OnResponseNotify(LPARAM lParam)
{
    UiSlowWatch watch("ResponseNotify");
    std::unique_ptr<ResponseEnvelope> envelope(reinterpret_cast<ResponseEnvelope*>(lParam));
    if (!envelope)
        return;
    std::shared_ptr<DataCoreResponse> response = std::move(envelope->response);
    envelope.reset();
    if (response && response->request)
        DeliverResponse(response);
}

void CVelTrayDlg::DeliverResponse(const std::shared_ptr<DataCoreResponse>& response)
{
    const std::shared_ptr<DataCoreRequest>& request = response->request;
    auto* payload = new AsyncPayload{request, response};
    // The registry owns the payload from here: it releases it on every path
    // that does not hand it on.
    VelUICore::CWorkspace::Deliver(request->receiverId, static_cast<int32_t>(request->context), request->type,
                                   payload, &ReleaseAsyncPayload);
}

void CVelTrayDlg::OnTrayNotify(LPARAM lParam)
{
    UiSlowWatch watch("TrayNotify");
    // Seam: the tray icon's mouse messages are handled here.
}

void CVelTrayDlg::OnOpenStation()
{
    ActivateStation();
}

void CVelTrayDlg::OnRefreshDone()
{
    // Seam: with a ball, its detail panel refreshes its pages and the ball asks
    // for the live schedule again here.
    DebugOutput(L"[VelTray] refresh done\n");
    SyncBallStationState();
}
