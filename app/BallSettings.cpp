#include "platform/Win32.h"
#include "app/BallSettings.h"

#include "platform/ModulePath.h"
#include "platform/TrayIni.h"

const wchar_t* const BallSettings::kKeys[kCount] = {L"ballnotify", L"ballsound", L"ballsnap", L"startup"};
const wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValueName[] = L"VelTray";

std::wstring RunValueData()
{
    const std::wstring path = ExecutablePath();
    return path.empty() ? std::wstring() : L"\"" + path + L"\"";
}

void BallSettings::Load(const TrayIni& trayIni)
{
    for (int i = 0; i < kCount; ++i) {
        const std::wstring text = trayIni.ReadText(kKeys[i], L"");
        if (!text.empty())
            values[i] = text != L"0";
    }
}

void BallSettings::Save(const TrayIni& trayIni) const
{
    for (int i = 0; i < kCount; ++i)
        trayIni.WriteText(kKeys[i], values[i] ? L"1" : L"0");

    HKEY key = nullptr;
    if (values[kStartup]) {
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        const std::wstring data = RunValueData();
        ::RegSetValueExW(key, kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    } else {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        ::RegDeleteValueW(key, kRunValueName);
    }
    ::RegCloseKey(key);
}
