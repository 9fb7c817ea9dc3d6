#pragma once
#include "duilib/UIDefine.h"

namespace DuiLib {

class CPaintManagerUI;

// The base of every windowless control. Controls are owned by their parent
// container (the root by its paint manager) and deleted through the virtual
// destructor.
class CControlUI {
public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    virtual CDuiString GetClass() const;
    // "Control" answers this; subclasses add their own names ("Container", "Label", ...).
    virtual LPVOID GetInterface(const CDuiString& name);

    const CDuiString& GetName() const { return m_sName; }
    void SetName(const CDuiString& name) { m_sName = name; }

    CPaintManagerUI* GetManager() const { return m_pManager; }
    virtual void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true);
    CControlUI* GetParent() const { return m_pParent; }

    // Called once when the control joins an initialised tree.
    void Init();
    virtual void DoInit() {}

    // "{\n}" in the text stands for a line break.
    virtual CDuiString GetText() const { return m_sText; }
    virtual void SetText(const CDuiString& text);
    // "<n>" in the tooltip stands for a line break.
    const CDuiString& GetToolTip() const { return m_sToolTip; }
    void SetToolTip(const CDuiString& text);

    UINT_PTR GetTag() const { return m_tag; }
    void SetTag(UINT_PTR tag) { m_tag = tag; }

    virtual bool IsVisible() const { return m_bVisible; }
    virtual void SetVisible(bool bVisible = true);
    // Visible itself and through every ancestor.
    bool IsVisibleInTree() const;
    bool IsEnabled() const { return m_bEnabled; }
    virtual void SetEnabled(bool bEnable = true);
    bool IsMouseEnabled() const { return m_bMouseEnabled; }
    void SetMouseEnabled(bool bEnable) { m_bMouseEnabled = bEnable; }
    bool IsFocused() const;
    void SetFocus();

    const RECT& GetPos() const { return m_rcItem; }
    virtual void SetPos(RECT rc);
    int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
    int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }
    int GetFixedWidth() const { return m_cxyFixed.cx; }
    void SetFixedWidth(int cx);
    int GetFixedHeight() const { return m_cxyFixed.cy; }
    void SetFixedHeight(int cy);
    // Outer spacing inside a layout ("padding" in markup).
    const RECT& GetPadding() const { return m_rcPadding; }
    void SetPadding(RECT rc);
    bool IsFloat() const { return m_bFloat; }
    void SetFloat(bool bFloat);
    // Position relative to the parent's top-left corner, used by floating controls.
    const RECT& GetFloatPos() const { return m_rcFloat; }
    void SetFloatPos(RECT rc);
    // Size wanted inside a layout; 0 means "take what is left".
    virtual SIZE EstimateSize(SIZE szAvailable);

    DWORD GetBkColor() const { return m_dwBackColor; }
    void SetBkColor(DWORD dwColor);
    DWORD GetBorderColor() const { return m_dwBorderColor; }
    void SetBorderColor(DWORD dwColor);
    int GetBorderSize() const { return m_nBorderSize; }
    void SetBorderSize(int nSize);

    virtual void SetAttribute(const CDuiString& name, const CDuiString& value);
    // Markup syntax: name="value" name2='value2' ...
    void ApplyAttributeList(const CDuiString& list);

    // Marks the control's rectangle, clipped by its ancestors, for repainting;
    // nothing for a control that is hidden itself or through an ancestor.
    virtual void Invalidate();
    // The control's size or visibility changed: its parent lays out again.
    void NeedParentUpdate();
    void NeedUpdate();

    virtual CControlUI* FindControl(FINDCONTROLPROC proc, LPVOID pData, UINT uFlags);
    // Descendants first, then the control itself; names compared ignoring case,
    // hidden controls included.
    CControlUI* FindSubControl(const CDuiString& name);

    virtual void DoEvent(TEventUI& event);

    // Paints the control when it meets rcPaint; false when nothing was painted.
    virtual bool DoPaint(HDC hDC, const RECT& rcPaint);
    virtual void PaintBkColor(HDC hDC);
    virtual void PaintStatusImage(HDC hDC) {}
    virtual void PaintText(HDC hDC) {}
    virtual void PaintBorder(HDC hDC);

protected:
    CPaintManagerUI* m_pManager = nullptr;
    CControlUI* m_pParent = nullptr;
    CDuiString m_sName;
    CDuiString m_sText;
    CDuiString m_sToolTip;
    UINT_PTR m_tag = 0;
    bool m_bInited = false;
    bool m_bVisible = true;
    bool m_bEnabled = true;
    bool m_bMouseEnabled = true;
    bool m_bFloat = false;
    RECT m_rcItem = {0, 0, 0, 0};
    RECT m_rcPadding = {0, 0, 0, 0};
    RECT m_rcFloat = {0, 0, 0, 0};
    SIZE m_cxyFixed = {0, 0};
    DWORD m_dwBackColor = 0;
    DWORD m_dwBorderColor = 0;
    int m_nBorderSize = 0;
};

}  // namespace DuiLib
