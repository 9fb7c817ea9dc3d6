#include "platform/Win32.h"

#include "duilib/UIContainer.h"

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"
#include "duilib/UIScrollBar.h"

#include <algorithm>
#include <cwchar>

namespace DuiLib {

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI()
{
    RemoveAll();
    delete m_pVerticalScrollBar;
    delete m_pHorizontalScrollBar;
}

CDuiString CContainerUI::GetClass() const
{
    return L"ContainerUI";
}

LPVOID CContainerUI::GetInterface(const CDuiString& name)
{
    if (name == L"Container")
        return static_cast<IContainerUI*>(this);
    return CControlUI::GetInterface(name);
}

CControlUI* CContainerUI::GetItemAt(int iIndex) const
{
    if (iIndex < 0 || iIndex >= static_cast<int>(m_items.size()))
        return nullptr;
    return m_items[static_cast<size_t>(iIndex)];
}

int CContainerUI::GetItemIndex(CControlUI* pControl) const
{
    auto it = std::find(m_items.begin(), m_items.end(), pControl);
    return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

int CContainerUI::GetCount() const
{
    return static_cast<int>(m_items.size());
}

bool CContainerUI::Add(CControlUI* pControl)
{
    return AddAt(pControl, GetCount());
}

bool CContainerUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!pControl || pControl == this || iIndex < 0 || iIndex > GetCount() || GetItemIndex(pControl) >= 0)
        return false;
    m_items.insert(m_items.begin() + iIndex, pControl);
    if (m_pManager)
        m_pManager->InitControls(pControl, this);
    else
        pControl->SetManager(nullptr, this, false);
    NeedUpdate();
    Invalidate();
    return true;
}

bool CContainerUI::Remove(CControlUI* pControl)
{
    return RemoveAt(GetItemIndex(pControl));
}

bool CContainerUI::RemoveAt(int iIndex)
{
    CControlUI* pControl = GetItemAt(iIndex);
    if (!pControl)
        return false;
    if (m_pManager)
        m_pManager->ReapObjects(pControl);
    m_items.erase(m_items.begin() + iIndex);
    if (m_bAutoDestroy)
        delete pControl;
    else
        pControl->SetManager(pControl->GetManager(), nullptr, false);
    NeedUpdate();
    Invalidate();
    return true;
}

void CContainerUI::RemoveAll()
{
    while (!m_items.empty())
        RemoveAt(GetCount() - 1);
    m_szScrollPos = SIZE{0, 0};
}

void CContainerUI::SetInset(RECT rc)
{
    m_rcInset = rc;
    NeedUpdate();
    Invalidate();
}

void CContainerUI::SetChildPadding(int iPadding)
{
    m_iChildPadding = iPadding;
    NeedUpdate();
    Invalidate();
}

void CContainerUI::EnableScrollBar(bool bEnableVertical, bool bEnableHorizontal)
{
    if (bEnableVertical && !m_pVerticalScrollBar) {
        m_pVerticalScrollBar = new CScrollBarUI;
        m_pVerticalScrollBar->SetOwner(this);
        m_pVerticalScrollBar->SetManager(m_pManager, this, false);
        if (m_pManager) {
            const CDuiString list = m_pManager->GetDefaultAttributeList(L"VScrollBar");
            if (!list.empty())
                m_pVerticalScrollBar->ApplyAttributeList(list);
        }
    } else if (!bEnableVertical && m_pVerticalScrollBar) {
        if (m_pManager)
            m_pManager->ReapObjects(m_pVerticalScrollBar);
        delete m_pVerticalScrollBar;
        m_pVerticalScrollBar = nullptr;
        m_szScrollPos.cy = 0;
    }
    if (bEnableHorizontal && !m_pHorizontalScrollBar) {
        m_pHorizontalScrollBar = new CScrollBarUI;
        m_pHorizontalScrollBar->SetHorizontal(true);
        m_pHorizontalScrollBar->SetOwner(this);
        m_pHorizontalScrollBar->SetManager(m_pManager, this, false);
        if (m_pManager) {
            const CDuiString list = m_pManager->GetDefaultAttributeList(L"HScrollBar");
            if (!list.empty())
                m_pHorizontalScrollBar->ApplyAttributeList(list);
        }
    } else if (!bEnableHorizontal && m_pHorizontalScrollBar) {
        if (m_pManager)
            m_pManager->ReapObjects(m_pHorizontalScrollBar);
        delete m_pHorizontalScrollBar;
        m_pHorizontalScrollBar = nullptr;
        m_szScrollPos.cx = 0;
    }
    NeedUpdate();
    Invalidate();
}

void CContainerUI::SetScrollPos(SIZE szPos)
{
    szPos.cx = std::max<LONG>(0, std::min(szPos.cx, m_szScrollRange.cx));
    szPos.cy = std::max<LONG>(0, std::min(szPos.cy, m_szScrollRange.cy));
    if (szPos.cx == m_szScrollPos.cx && szPos.cy == m_szScrollPos.cy)
        return;
    m_szScrollPos = szPos;
    if (m_pVerticalScrollBar)
        m_pVerticalScrollBar->SetScrollPos(szPos.cy);
    if (m_pHorizontalScrollBar)
        m_pHorizontalScrollBar->SetScrollPos(szPos.cx);
    SetPos(m_rcItem);  // lays the items out again at the new offset
    Invalidate();
}

void CContainerUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit)
{
    for (CControlUI* pItem : m_items)
        pItem->SetManager(pManager, this, bInit);
    if (m_pVerticalScrollBar)
        m_pVerticalScrollBar->SetManager(pManager, this, bInit);
    if (m_pHorizontalScrollBar)
        m_pHorizontalScrollBar->SetManager(pManager, this, bInit);
    CControlUI::SetManager(pManager, pParent, bInit);
}

void CContainerUI::SetVisible(bool bVisible)
{
    CControlUI::SetVisible(bVisible);
}

RECT CContainerUI::InnerRect() const
{
    return RECT{m_rcItem.left + m_rcInset.left, m_rcItem.top + m_rcInset.top, m_rcItem.right - m_rcInset.right,
                m_rcItem.bottom - m_rcInset.bottom};
}

void CContainerUI::PlaceFloatItem(CControlUI* pControl)
{
    const RECT& pos = pControl->GetFloatPos();
    SIZE size = pControl->EstimateSize(SIZE{GetWidth(), GetHeight()});
    if (size.cx <= 0)
        size.cx = pos.right > pos.left ? pos.right - pos.left : 0;
    if (size.cy <= 0)
        size.cy = pos.bottom > pos.top ? pos.bottom - pos.top : 0;
    const LONG left = m_rcItem.left + pos.left;
    const LONG top = m_rcItem.top + pos.top;
    pControl->SetPos(RECT{left, top, left + size.cx, top + size.cy});
}

void CContainerUI::PlaceScrollBars(const RECT& rcInner)
{
    if (m_pVerticalScrollBar) {
        m_pVerticalScrollBar->SetScrollRange(m_szScrollRange.cy);
        m_pVerticalScrollBar->SetScrollPos(m_szScrollPos.cy);
        m_pVerticalScrollBar->SetVisible(m_szScrollRange.cy > 0);
        const int cx = m_pVerticalScrollBar->GetThickness();
        m_pVerticalScrollBar->SetPos(RECT{rcInner.right, rcInner.top, rcInner.right + cx, rcInner.bottom});
    }
    if (m_pHorizontalScrollBar) {
        m_pHorizontalScrollBar->SetScrollRange(m_szScrollRange.cx);
        m_pHorizontalScrollBar->SetScrollPos(m_szScrollPos.cx);
        m_pHorizontalScrollBar->SetVisible(m_szScrollRange.cx > 0);
        const int cy = m_pHorizontalScrollBar->GetThickness();
        m_pHorizontalScrollBar->SetPos(RECT{rcInner.left, rcInner.bottom, rcInner.right, rcInner.bottom + cy});
    }
}

void CContainerUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    const RECT inner = InnerRect();
    for (CControlUI* pItem : m_items) {
        if (!pItem->IsVisible())
            continue;
        if (pItem->IsFloat()) {
            PlaceFloatItem(pItem);
            continue;
        }
        const RECT& pad = pItem->GetPadding();
        RECT rcItem = {inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom};
        const SIZE size = pItem->EstimateSize(SIZE{rcItem.right - rcItem.left, rcItem.bottom - rcItem.top});
        if (size.cx > 0)
            rcItem.right = rcItem.left + size.cx;
        if (size.cy > 0)
            rcItem.bottom = rcItem.top + size.cy;
        pItem->SetPos(rcItem);
    }
    m_szScrollRange = SIZE{0, 0};
    PlaceScrollBars(inner);
}

void CContainerUI::LayoutLinear(bool bVertical)
{
    RECT inner = InnerRect();
    const auto along = [bVertical](const RECT& r) { return bVertical ? r.bottom - r.top : r.right - r.left; };
    const auto across = [bVertical](const RECT& r) { return bVertical ? r.right - r.left : r.bottom - r.top; };

    // Pass 1: what the fixed items take and how many share the rest.
    std::vector<CControlUI*> flow;
    LONG fixed = 0;
    int adjustable = 0;
    for (CControlUI* pItem : m_items) {
        if (!pItem->IsVisible())
            continue;
        if (pItem->IsFloat()) {
            PlaceFloatItem(pItem);
            continue;
        }
        flow.push_back(pItem);
        const RECT& pad = pItem->GetPadding();
        const SIZE size = pItem->EstimateSize(SIZE{inner.right - inner.left, inner.bottom - inner.top});
        const LONG want = bVertical ? size.cy : size.cx;
        fixed += bVertical ? pad.top + pad.bottom : pad.left + pad.right;
        if (want > 0)
            fixed += want;
        else
            ++adjustable;
    }
    if (flow.size() > 1)
        fixed += m_iChildPadding * static_cast<LONG>(flow.size() - 1);

    // Content longer than the room scrolls when the matching bar exists.
    CScrollBarUI* pBar = bVertical ? m_pVerticalScrollBar : m_pHorizontalScrollBar;
    LONG range = 0;
    if (pBar && adjustable == 0 && fixed > along(inner)) {
        if (bVertical)
            inner.right -= pBar->GetThickness();
        else
            inner.bottom -= pBar->GetThickness();
        range = fixed - along(inner);
    }
    if (bVertical) {
        m_szScrollRange = SIZE{0, range};
        m_szScrollPos.cy = std::min(m_szScrollPos.cy, range);
    } else {
        m_szScrollRange = SIZE{range, 0};
        m_szScrollPos.cx = std::min(m_szScrollPos.cx, range);
    }

    const LONG remain = std::max<LONG>(0, along(inner) - fixed);
    LONG share = adjustable > 0 ? remain / adjustable : 0;
    LONG leftover = adjustable > 0 ? remain - share * adjustable : 0;
    LONG cursor = bVertical ? inner.top - m_szScrollPos.cy : inner.left - m_szScrollPos.cx;
    for (CControlUI* pItem : flow) {
        const RECT& pad = pItem->GetPadding();
        const SIZE size = pItem->EstimateSize(SIZE{inner.right - inner.left, inner.bottom - inner.top});
        LONG length = bVertical ? size.cy : size.cx;
        if (length <= 0) {
            length = share;
            if (--adjustable == 0)
                length += leftover;
        }
        const LONG wantAcross = bVertical ? size.cx : size.cy;
        RECT rcItem;
        if (bVertical) {
            cursor += pad.top;
            const LONG width = wantAcross > 0 ? wantAcross : across(inner) - pad.left - pad.right;
            rcItem = RECT{inner.left + pad.left, cursor, inner.left + pad.left + width, cursor + length};
            cursor += length + pad.bottom + m_iChildPadding;
        } else {
            cursor += pad.left;
            const LONG height = wantAcross > 0 ? wantAcross : across(inner) - pad.top - pad.bottom;
            rcItem = RECT{cursor, inner.top + pad.top, cursor + length, inner.top + pad.top + height};
            cursor += length + pad.right + m_iChildPadding;
        }
        pItem->SetPos(rcItem);
    }
    PlaceScrollBars(inner);
}

void CContainerUI::SetAttribute(const CDuiString& name, const CDuiString& value)
{
    const wchar_t* n = name.c_str();
    if (_wcsicmp(n, L"inset") == 0)
        SetInset(ParseRect(value));
    else if (_wcsicmp(n, L"childpadding") == 0)
        SetChildPadding(ParseInt(value));
    else if (_wcsicmp(n, L"vscrollbar") == 0)
        EnableScrollBar(ParseBool(value), m_pHorizontalScrollBar != nullptr);
    else if (_wcsicmp(n, L"hscrollbar") == 0)
        EnableScrollBar(m_pVerticalScrollBar != nullptr, ParseBool(value));
    else if (_wcsicmp(n, L"autodestroy") == 0)
        SetAutoDestroy(ParseBool(value));
    else
        CControlUI::SetAttribute(name, value);
}

CControlUI* CContainerUI::FindControl(FINDCONTROLPROC proc, LPVOID pData, UINT uFlags)
{
    if ((uFlags & UIFIND_VISIBLE) && !IsVisible())
        return nullptr;
    if ((uFlags & UIFIND_ENABLED) && !IsEnabled())
        return nullptr;
    if ((uFlags & UIFIND_HITTEST) && !::PtInRect(&m_rcItem, *static_cast<POINT*>(pData)))
        return nullptr;
    if (uFlags & UIFIND_ME_FIRST) {
        if (CControlUI* pFound = CControlUI::FindControl(proc, pData, uFlags))
            return pFound;
    }
    if (uFlags & UIFIND_HITTEST) {
        for (CScrollBarUI* pBar : {m_pVerticalScrollBar, m_pHorizontalScrollBar})
            if (pBar)
                if (CControlUI* pFound = pBar->FindControl(proc, pData, uFlags))
                    return pFound;
    }
    if (uFlags & UIFIND_TOP_FIRST) {
        for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
            if (CControlUI* pFound = (*it)->FindControl(proc, pData, uFlags))
                return pFound;
    } else {
        for (CControlUI* pItem : m_items)
            if (CControlUI* pFound = pItem->FindControl(proc, pData, uFlags))
                return pFound;
    }
    if (!(uFlags & UIFIND_ME_FIRST))
        return CControlUI::FindControl(proc, pData, uFlags);
    return nullptr;
}

void CContainerUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_SCROLLWHEEL && m_pVerticalScrollBar && m_szScrollRange.cy > 0) {
        const int delta = GET_WHEEL_DELTA_WPARAM(event.wParam);
        const int line = m_pVerticalScrollBar->GetLineSize() * 3;
        SIZE pos = m_szScrollPos;
        pos.cy += delta > 0 ? -line : line;
        SetScrollPos(pos);
        return;
    }
    CControlUI::DoEvent(event);
}

bool CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    RECT rcTemp = {};
    if (!::IntersectRect(&rcTemp, &rcPaint, &m_rcItem))
        return false;
    const int saved = ::SaveDC(hDC);
    ::IntersectClipRect(hDC, rcTemp.left, rcTemp.top, rcTemp.right, rcTemp.bottom);
    PaintBkColor(hDC);
    PaintStatusImage(hDC);
    PaintText(hDC);
    for (CControlUI* pItem : m_items) {
        if (!pItem->IsVisible())
            continue;
        RECT rcChild = {};
        if (::IntersectRect(&rcChild, &rcTemp, &pItem->GetPos()))
            pItem->DoPaint(hDC, rcTemp);
    }
    for (CScrollBarUI* pBar : {m_pVerticalScrollBar, m_pHorizontalScrollBar})
        if (pBar && pBar->IsVisible())
            pBar->DoPaint(hDC, rcTemp);
    PaintBorder(hDC);
    ::RestoreDC(hDC, saved);
    return true;
}

CDuiString CVerticalLayoutUI::GetClass() const
{
    return L"VerticalLayoutUI";
}

LPVOID CVerticalLayoutUI::GetInterface(const CDuiString& name)
{
    if (name == L"VerticalLayout")
        return static_cast<CVerticalLayoutUI*>(this);
    return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    LayoutLinear(true);
}

CDuiString CHorizontalLayoutUI::GetClass() const
{
    return L"HorizontalLayoutUI";
}

LPVOID CHorizontalLayoutUI::GetInterface(const CDuiString& name)
{
    if (name == L"HorizontalLayout")
        return static_cast<CHorizontalLayoutUI*>(this);
    return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    LayoutLinear(false);
}

}  // namespace DuiLib
