#pragma once
#include "platform/Win32.h"

#include <string>

namespace DuiLib {

// The toolkit's string: UTF-16, like every UI text of the program.
using CDuiString = std::wstring;

class CControlUI;

// Input reaching a control, translated from window messages by the paint manager.
enum EventTypeUI {
    UIEVENT_MOUSEMOVE = 1,
    UIEVENT_MOUSELEAVE,
    UIEVENT_MOUSEENTER,
    UIEVENT_MOUSEHOVER,
    UIEVENT_BUTTONDOWN,
    UIEVENT_BUTTONUP,
    UIEVENT_RBUTTONDOWN,
    UIEVENT_RBUTTONUP,
    UIEVENT_DBLCLICK,
    UIEVENT_SCROLLWHEEL,
    UIEVENT_KEYDOWN,
    UIEVENT_CHAR,
    UIEVENT_SETFOCUS,
    UIEVENT_KILLFOCUS,
    UIEVENT_TIMER,
    // The mouse capture was taken away before the button was released.
    UIEVENT_CAPTURELOST,
};

struct TEventUI {
    int Type = 0;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse = {0, 0};
    WCHAR chKey = 0;
    WORD wKeyState = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// What notifiers receive; the program acts on sType and pSender.
struct TNotifyUI {
    CDuiString sType;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse = {0, 0};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class INotifyUI {
public:
    virtual void Notify(TNotifyUI& msg) = 0;

protected:
    ~INotifyUI() = default;
};

// Flags of CControlUI::FindControl.
constexpr UINT UIFIND_ALL = 0x00000000;
constexpr UINT UIFIND_VISIBLE = 0x00000001;
constexpr UINT UIFIND_ENABLED = 0x00000002;
constexpr UINT UIFIND_HITTEST = 0x00000004;
constexpr UINT UIFIND_TOP_FIRST = 0x00000008;
constexpr UINT UIFIND_ME_FIRST = 0x80000000;

using FINDCONTROLPROC = CControlUI* (*)(CControlUI*, LPVOID);

// Text styles of labels (DT_-like bits, drawn with GDI+).
constexpr UINT DT_STYLE_LEFT = 0x0000;
constexpr UINT DT_STYLE_CENTER = 0x0001;
constexpr UINT DT_STYLE_RIGHT = 0x0002;
constexpr UINT DT_STYLE_VCENTER = 0x0004;
constexpr UINT DT_STYLE_BOTTOM = 0x0008;
constexpr UINT DT_STYLE_WORDBREAK = 0x0010;
constexpr UINT DT_STYLE_SINGLELINE = 0x0020;
constexpr UINT DT_STYLE_END_ELLIPSIS = 0x8000;

}  // namespace DuiLib
