#pragma once
#include "platform/Win32.h"
#include "platform/ScopedWin.h"

#include "business/DataCoreRequest.h"
#include "stationlink/StationIpcChannel.h"

#include <atomic>
#include <memory>

// The hidden main dialog: the address of the process. The business manager
// posts its responses here, the notification area reports here, the ball asks
// here for VelStation, and the station link delivers VelStation's commands
// here. It is never shown.
class CVelTrayDlg {
public:
    CVelTrayDlg() = default;
    ~CVelTrayDlg();

    CVelTrayDlg(const CVelTrayDlg&) = delete;
    CVelTrayDlg& operator=(const CVelTrayDlg&) = delete;

    // Modeless from template 102, without a parent.
    bool Create(HINSTANCE instance);
    HWND GetSafeHwnd() const { return m_hWnd; }
    void DestroyWindow();

    BOOL OnInitDialog();

    // Station-facing operations.
    void UpdateStationState(bool running);
    void SyncBallStationState();
    bool StationRunning() const { return m_stationRunning; }
    void SetBallClosed(bool closed);
    void ApplyAutoStart(bool on);
    void ActivateStation();
    void JumpToStation(const std::wstring& key, const std::wstring& url, bool launchOnly);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void OnDestroy();
    void OnResponseNotify(LPARAM lParam);
    void OnRequestNotify(LPARAM lParam);
    void OnTrayNotify(LPARAM lParam);
    void OnOpenStation();
    void OnRefreshDone();
    void DeliverResponse(const std::shared_ptr<DataCoreResponse>& response);

    // The station link's callbacks, on the UI thread.
    static void OnStationData(void* context, int32_t command, const void* data, int32_t length);
    static void OnStationState(void* context, int32_t kind);
    void OnStationCommand(int32_t command, const void* data, int32_t length);

    HWND m_hWnd = nullptr;
    ScopedIcon m_icon;
    int m_trayIconAdded = 0;
    StationIpcChannel m_stationLink;
    // The business manager reads this from its workers at every post.
    std::atomic<HWND> m_windowHandle{nullptr};
    bool m_stationRunning = false;
};
