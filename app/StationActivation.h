#pragma once
#include "platform/Win32.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class StationIpcChannel;
class TrayIni;

// Finding, activating, launching VelStation and handing it jumps. The
// functions that look at VelTray's own directory take an optional base
// directory; empty means the running executable's.

constexpr wchar_t kStationAdvImage[] = L"VelStationADV.exe";
constexpr wchar_t kStationImage[] = L"VelStation.exe";

// Process id of the first process with that executable name (ignoring case), 0 when none.
DWORD FindStationProcess(const wchar_t* imageName);
// "VelStationADV.exe" first, then "VelStation.exe".
DWORD FindAnyStationProcess();

struct StationWindowCandidate {
    HWND hwnd;
    LONG width;
    LONG height;
    bool visible;
};
// The visible candidate with the largest area, else the largest overall, else
// none; only a strictly larger area replaces, so the first of equals wins and
// empty windows are never chosen.
HWND ChooseStationWindow(const std::vector<StationWindowCandidate>& candidates);
// Top-level, unowned, non-tool windows of the process, chosen as above.
HWND FindStationWindow(DWORD pid);

// The directory with a trailing backslash, followed by the name; false for
// paths of 520 characters or more.
bool StationPath(const wchar_t* imageName, std::wstring& path, const std::wstring& baseDir = std::wstring());
// Starts "VelStationADV.exe", or "VelStation.exe" only when the first file is
// absent; the new process id, 0 on failure.
DWORD LaunchStation(const std::wstring& baseDir = std::wstring());

// "gw://funccall?funcname=OnGoFenshi;param0=<sz|sh|bj>;param1=<code>;",
// truncated to the buffer. The buffer is emptied first; false for an unknown
// market or an empty code.
bool BuildStockJumpUrl(int marketCode, const wchar_t* stockCode, wchar_t* buffer, size_t size);

constexpr size_t kJumpBufferSize = 1024;
constexpr size_t kJumpKeyField = 64;
// Command 5's payload: key in bytes 0-63, URL in bytes 64-1023, UTF-8, each
// NUL-terminated. A text longer than its field is cut at the last whole UTF-8
// character that leaves room for the terminator.
void BuildJumpBuffer(const std::wstring& key, const std::wstring& url, uint8_t (&buffer)[kJumpBufferSize]);
// Copies as much of text as fits in size - 1 bytes without splitting a
// character, then a NUL; the number of text bytes copied.
size_t CopyUtf8Field(const std::string& text, uint8_t* field, size_t size);

// Steps 1 to 4 of activation: tell the peer over the link, raise its main
// window, launch it when neither worked. False (logged) when it could not be
// launched.
bool BringStationForward(StationIpcChannel& link, const std::wstring& baseDir = std::wstring());

// Hands a jump over the link, else through tray.ini (launching VelStation
// when it does not run); with launchOnly and no VelStation running it only
// launches.
void JumpToStation(StationIpcChannel& link, const TrayIni& trayIni, const std::wstring& key, const std::wstring& url,
                   bool launchOnly, const std::wstring& baseDir = std::wstring());
