#include "tests/support/ProcessWindows.h"

#include <string>

namespace {

struct DialogSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    wchar_t cls[32] = {};
    ::GetClassNameW(hwnd, cls, 32);
    if (owner == search->pid && std::wstring(cls) == L"#32770") {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindMainDialog(DWORD pid)
{
    DialogSearch search{pid, nullptr};
    ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
