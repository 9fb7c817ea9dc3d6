#pragma once
#include <string>

class TrayIni;

// The ball's four switches in the section "switch" of tray.ini; "startup" is
// mirrored into the per-user Run key. The settings menu and the controller
// share this record.
struct BallSettings {
    enum Index { kNotify = 0, kSound = 1, kSnap = 2, kStartup = 3, kCount = 4 };
    static const wchar_t* const kKeys[kCount];

    bool values[kCount] = {true, true, true, false};

    // An absent or empty value keeps the default; exactly "0" is false, any
    // other text true.
    void Load(const TrayIni& trayIni);
    // Writes the four keys, then sets or deletes the Run value "VelTray".
    // Registry failures are ignored: the file is written regardless.
    void Save(const TrayIni& trayIni) const;
};

// HKCU\Software\Microsoft\Windows\CurrentVersion\Run, value "VelTray".
extern const wchar_t kRunKeyPath[];
extern const wchar_t kRunValueName[];
// "\"<full path of the running executable>\"".
std::wstring RunValueData();
