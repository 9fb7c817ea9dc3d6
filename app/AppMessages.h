#pragma once
#include "platform/Win32.h"

// Messages of the main dialog.
constexpr UINT kRequestNotifyMessage = WM_USER + 9000;   // 10024
constexpr UINT kResponseNotifyMsg = WM_USER + 9001;      // 10025, posted by the business manager
constexpr UINT kTrayNotifyMessage = WM_USER + 9201;      // 10225
constexpr UINT kOpenStationMessage = WM_APP + 0x205;     // 33285
constexpr UINT kRefreshDoneMessage = WM_APP + 0x230;     // 33328

// Commands of the tray menu.
constexpr UINT kTrayCmdOpenClient = 101;
constexpr UINT kTrayCmdExit = 102;
constexpr UINT kTrayCmdShowSpirit = 103;

// Resources.
constexpr int kIdrMainIcon = 128;
constexpr int kIddMainDialog = 102;
constexpr int kIdsAboutBox = 101;
constexpr UINT kIdmAboutBox = 16;
