#include "platform/Win32.h"

#include "duilib/UIScrollBar.h"

#include "duilib/UIContainer.h"
#include "duilib/UIRender.h"

#include <algorithm>
#include <cwchar>

namespace DuiLib {

namespace {
constexpr int kDefaultThickness = 8;
constexpr int kMinThumb = 12;
}  // namespace

CScrollBarUI::CScrollBarUI()
{
    m_cxyFixed.cx = kDefaultThickness;
}

CDuiString CScrollBarUI::GetClass() const
{
    return L"ScrollBarUI";
}

LPVOID CScrollBarUI::GetInterface(const CDuiString& name)
{
    if (name == L"ScrollBar")
        return static_cast<CScrollBarUI*>(this);
    return CControlUI::GetInterface(name);
}

void CScrollBarUI::SetHorizontal(bool bHorizontal)
{
    if (m_bHorizontal == bHorizontal)
        return;
    m_bHorizontal = bHorizontal;
    std::swap(m_cxyFixed.cx, m_cxyFixed.cy);
    NeedParentUpdate();
}

int CScrollBarUI::GetThickness() const
{
    return m_bHorizontal ? m_cxyFixed.cy : m_cxyFixed.cx;
}

void CScrollBarUI::SetScrollRange(int nRange)
{
    nRange = std::max(0, nRange);
    if (m_nRange == nRange)
        return;
    m_nRange = nRange;
    m_nScrollPos = std::min(m_nScrollPos, m_nRange);
    Invalidate();
}

void CScrollBarUI::SetScrollPos(int nPos)
{
    nPos = std::max(0, std::min(nPos, m_nRange));
    if (m_nScrollPos == nPos)
        return;
    m_nScrollPos = nPos;
    Invalidate();
}

RECT CScrollBarUI::GetThumbRect() const
{
    RECT rc = m_rcItem;
    const LONG track = m_bHorizontal ? rc.right - rc.left : rc.bottom - rc.top;
    if (track <= 0)
        return rc;
    LONG thumb = m_nRange > 0 ? std::max<LONG>(kMinThumb, track * track / (track + m_nRange)) : track;
    thumb = std::min(thumb, track);
    const LONG offset = m_nRange > 0 ? (track - thumb) * m_nScrollPos / m_nRange : 0;
    if (m_bHorizontal) {
        rc.left += offset;
        rc.right = rc.left + thumb;
    } else {
        rc.top += offset;
        rc.bottom = rc.top + thumb;
    }
    return rc;
}

void CScrollBarUI::ScrollTo(int nPos)
{
    if (!m_pOwner)
        return;
    SIZE pos = m_pOwner->GetScrollPos();
    (m_bHorizontal ? pos.cx : pos.cy) = nPos;
    m_pOwner->SetScrollPos(pos);
}

void CScrollBarUI::SetAttribute(const CDuiString& name, const CDuiString& value)
{
    const wchar_t* n = name.c_str();
    if (_wcsicmp(n, L"thumbcolor") == 0) {
        m_dwThumbColor = ParseColor(value);
        Invalidate();
    } else if (_wcsicmp(n, L"linesize") == 0) {
        m_nLineSize = std::max(1, ParseInt(value, m_nLineSize));
    } else if (_wcsicmp(n, L"thickness") == 0) {
        (m_bHorizontal ? m_cxyFixed.cy : m_cxyFixed.cx) = std::max(0, ParseInt(value));
        NeedParentUpdate();
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

void CScrollBarUI::DoEvent(TEventUI& event)
{
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN: {
        const RECT thumb = GetThumbRect();
        if (::PtInRect(&thumb, event.ptMouse)) {
            m_bDragging = true;
            m_ptDragStart = event.ptMouse;
            m_nDragStartPos = m_nScrollPos;
            return;
        }
        // A press on the track pages towards it.
        const LONG page = std::max<LONG>(m_nLineSize, m_bHorizontal ? GetWidth() : GetHeight());
        const bool before = m_bHorizontal ? event.ptMouse.x < thumb.left : event.ptMouse.y < thumb.top;
        ScrollTo(m_nScrollPos + (before ? -page : page));
        return;
    }
    case UIEVENT_MOUSEMOVE:
        if (m_bDragging) {
            const RECT thumb = GetThumbRect();
            const LONG track = m_bHorizontal ? GetWidth() : GetHeight();
            const LONG free = track - (m_bHorizontal ? thumb.right - thumb.left : thumb.bottom - thumb.top);
            const LONG moved = m_bHorizontal ? event.ptMouse.x - m_ptDragStart.x : event.ptMouse.y - m_ptDragStart.y;
            if (free > 0)
                ScrollTo(m_nDragStartPos + static_cast<int>(moved * m_nRange / free));
        }
        return;
    case UIEVENT_BUTTONUP:
    case UIEVENT_CAPTURELOST:
        m_bDragging = false;
        return;
    case UIEVENT_SCROLLWHEEL:
        if (m_pOwner)
            m_pOwner->DoEvent(event);
        return;
    default:
        CControlUI::DoEvent(event);
    }
}

void CScrollBarUI::PaintStatusImage(HDC hDC)
{
    if (m_nRange <= 0)
        return;
    CRenderEngine::DrawColor(hDC, GetThumbRect(), m_dwThumbColor);
}

}  // namespace DuiLib
