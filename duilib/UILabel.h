#pragma once
#include "duilib/UIControl.h"

namespace DuiLib {

// Text drawn with GDI+ in the font of an id, inside the text padding.
class CLabelUI : public CControlUI {
public:
    CLabelUI();

    CDuiString GetClass() const override;
    LPVOID GetInterface(const CDuiString& name) override;

    DWORD GetTextColor() const { return m_dwTextColor; }
    void SetTextColor(DWORD dwColor);
    DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
    void SetDisabledTextColor(DWORD dwColor);
    int GetFont() const { return m_iFont; }
    void SetFont(int index);
    // Insets in unscaled pixels; painting scales them by the window's DPI scale.
    const RECT& GetTextPadding() const { return m_rcTextPadding; }
    void SetTextPadding(RECT rc);
    UINT GetTextStyle() const { return m_uTextStyle; }
    void SetTextStyle(UINT uStyle);

    void SetAttribute(const CDuiString& name, const CDuiString& value) override;
    void PaintText(HDC hDC) override;

protected:
    DWORD m_dwTextColor = 0xFF000000;
    DWORD m_dwDisabledTextColor = 0xFFA7A6AA;
    int m_iFont = -1;
    RECT m_rcTextPadding = {0, 0, 0, 0};
    UINT m_uTextStyle = DT_STYLE_VCENTER | DT_STYLE_SINGLELINE;
};

// Raises "click" when the left button is released over the button that took the press.
class CButtonUI : public CLabelUI {
public:
    CButtonUI();

    CDuiString GetClass() const override;
    LPVOID GetInterface(const CDuiString& name) override;

    bool IsHot() const { return m_bHot; }
    bool IsPushed() const { return m_bPushed; }
    virtual bool Activate();

    void SetAttribute(const CDuiString& name, const CDuiString& value) override;
    void DoEvent(TEventUI& event) override;
    void PaintBkColor(HDC hDC) override;
    void PaintText(HDC hDC) override;

protected:
    bool m_bHot = false;
    bool m_bPushed = false;
    bool m_bCaptured = false;
    DWORD m_dwHotBkColor = 0;
    DWORD m_dwPushedBkColor = 0;
    DWORD m_dwHotTextColor = 0;
    DWORD m_dwPushedTextColor = 0;
};

}  // namespace DuiLib
