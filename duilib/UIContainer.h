#pragma once
#include "duilib/UIControl.h"

#include <vector>

namespace DuiLib {

class CScrollBarUI;

// What GetInterface("Container") hands out.
class IContainerUI {
public:
    virtual CControlUI* GetItemAt(int iIndex) const = 0;
    virtual int GetItemIndex(CControlUI* pControl) const = 0;
    virtual int GetCount() const = 0;
    virtual bool Add(CControlUI* pControl) = 0;
    virtual bool AddAt(CControlUI* pControl, int iIndex) = 0;
    // Deletes the item only when auto-destroy is on.
    virtual bool Remove(CControlUI* pControl) = 0;
    virtual bool RemoveAt(int iIndex) = 0;
    virtual void RemoveAll() = 0;
    virtual bool IsAutoDestroy() const = 0;
    virtual void SetAutoDestroy(bool bAuto) = 0;

protected:
    ~IContainerUI() = default;
};

// Items stacked in the inner rectangle (floating items at their own position),
// with optional scroll bars.
class CContainerUI : public CControlUI, public IContainerUI {
public:
    CContainerUI();
    ~CContainerUI() override;

    CDuiString GetClass() const override;
    LPVOID GetInterface(const CDuiString& name) override;

    CControlUI* GetItemAt(int iIndex) const override;
    int GetItemIndex(CControlUI* pControl) const override;
    int GetCount() const override;
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl) override;
    bool RemoveAt(int iIndex) override;
    void RemoveAll() override;
    bool IsAutoDestroy() const override { return m_bAutoDestroy; }
    void SetAutoDestroy(bool bAuto) override { m_bAutoDestroy = bAuto; }

    const RECT& GetInset() const { return m_rcInset; }
    void SetInset(RECT rc);
    int GetChildPadding() const { return m_iChildPadding; }
    void SetChildPadding(int iPadding);

    // Creates or deletes the bars; new bars take the current "VScrollBar" /
    // "HScrollBar" default attribute lists of the paint manager.
    virtual void EnableScrollBar(bool bEnableVertical = true, bool bEnableHorizontal = false);
    CScrollBarUI* GetVerticalScrollBar() const { return m_pVerticalScrollBar; }
    CScrollBarUI* GetHorizontalScrollBar() const { return m_pHorizontalScrollBar; }
    SIZE GetScrollPos() const { return m_szScrollPos; }
    SIZE GetScrollRange() const { return m_szScrollRange; }
    virtual void SetScrollPos(SIZE szPos);

    void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
    void SetVisible(bool bVisible = true) override;
    void SetPos(RECT rc) override;
    void SetAttribute(const CDuiString& name, const CDuiString& value) override;
    CControlUI* FindControl(FINDCONTROLPROC proc, LPVOID pData, UINT uFlags) override;
    void DoEvent(TEventUI& event) override;
    bool DoPaint(HDC hDC, const RECT& rcPaint) override;

protected:
    RECT InnerRect() const;
    void PlaceFloatItem(CControlUI* pControl);
    // Lays the non-floating items out one after another along one axis.
    void LayoutLinear(bool bVertical);
    void PlaceScrollBars(const RECT& rcInner);

    std::vector<CControlUI*> m_items;
    RECT m_rcInset = {0, 0, 0, 0};
    int m_iChildPadding = 0;
    bool m_bAutoDestroy = true;
    CScrollBarUI* m_pVerticalScrollBar = nullptr;
    CScrollBarUI* m_pHorizontalScrollBar = nullptr;
    SIZE m_szScrollPos = {0, 0};
    SIZE m_szScrollRange = {0, 0};
};

class CVerticalLayoutUI : public CContainerUI {
public:
    CDuiString GetClass() const override;
    LPVOID GetInterface(const CDuiString& name) override;
    void SetPos(RECT rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    CDuiString GetClass() const override;
    LPVOID GetInterface(const CDuiString& name) override;
    void SetPos(RECT rc) override;
};

}  // namespace DuiLib
