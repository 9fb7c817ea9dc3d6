#pragma once
#include <string>

// The switch file tray.ini in Data\Common below the executable's directory.
// Every key lives in the section "switch". Whenever the file is opened and
// does not exist yet, it is created with closedown = 0 and startup = 1.
class TrayIni {
public:
    // Uses the directory of the running executable.
    TrayIni();
    // For tests: a base directory standing in for the executable's.
    explicit TrayIni(std::wstring baseDir);

    // Forms the path, creating Data and Data\Common when missing.
    std::wstring Path() const;

    int ReadInt(const wchar_t* key, int defaultValue = 0) const;
    bool WriteInt(const wchar_t* key, int value) const;
    std::wstring ReadText(const wchar_t* key, const wchar_t* defaultValue = L"") const;
    bool WriteText(const wchar_t* key, const std::wstring& value) const;

private:
    std::wstring EnsureFile() const;

    std::wstring m_baseDir;
};

#include "platform/ModulePath.h"
