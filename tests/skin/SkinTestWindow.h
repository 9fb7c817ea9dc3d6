#pragma once
#include "platform/Win32.h"

#include "duilib/UIlib.h"
#include "skin/Workspace.h"

// A layered popup laid out like the ball's windows: paint manager first, then
// the skin folder and the workspace, bound in WM_CREATE.
class SkinTestWindow : public DuiLib::CWindowWnd {
public:
    LPCWSTR GetWindowClassName() const override { return L"VelTraySkinTestWnd"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (uMsg == WM_CREATE) {
            pm.Init(m_hWnd);
            root = new DuiLib::CContainerUI;
            pm.AttachDialog(root);
            pm.SetLayered(true);
            workspace.Bind(m_hWnd, &pm);
            return 0;
        }
        return HandleWithManager(pm, uMsg, wParam, lParam);
    }
    bool Open(int cx, int cy)
    {
        return Create(nullptr, L"skin test", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW, 0, 0, cx, cy) != nullptr;
    }
    ~SkinTestWindow() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }

    DuiLib::CPaintManagerUI pm;
    VelUICore::SkinFolder skin;
    VelUICore::CMainWorkspace workspace;
    DuiLib::CContainerUI* root = nullptr;
};
