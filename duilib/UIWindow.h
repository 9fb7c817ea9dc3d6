#pragma once
#include "duilib/UIDefine.h"

namespace DuiLib {

class CPaintManagerUI;

// A top-level window whose procedure forwards to a virtual message handler.
// The object is bound to its handle during WM_NCCREATE, so every later
// message (WM_CREATE included) reaches HandleMessage on the creating thread.
class CWindowWnd {
public:
    CWindowWnd();

    HWND GetHWND() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Registers the class on first use (an existing registration is fine).
    HWND Create(HWND hwndParent, LPCWSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x, int y, int cx, int cy,
                HMENU hMenu = nullptr);
    void ShowWindow(bool bShow = true, bool bTakeFocus = true);
    void Close();

    // The class protocol, in this order.
    virtual LPCWSTR GetWindowClassName() const = 0;
    virtual LPCWSTR GetSuperClassName() const;
    virtual UINT GetClassStyle() const;
    virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // After WM_NCDESTROY, with the handle already cleared; the object may delete itself here.
    virtual void OnFinalMessage(HWND hWnd);
    virtual ~CWindowWnd();

    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

protected:
    // The default chain for handlers: the paint manager first, then the
    // previous window procedure.
    LRESULT HandleWithManager(CPaintManagerUI& pm, UINT uMsg, WPARAM wParam, LPARAM lParam);
    bool RegisterWindowClass();
    bool RegisterSuperclass();
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    WNDPROC m_OldWndProc = ::DefWindowProcW;
};

}  // namespace DuiLib
