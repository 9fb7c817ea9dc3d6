#include "platform/Win32.h"

#include "duilib/UILabel.h"

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"

#include <cwchar>

namespace DuiLib {

CLabelUI::CLabelUI() = default;

CDuiString CLabelUI::GetClass() const
{
    return L"LabelUI";
}

LPVOID CLabelUI::GetInterface(const CDuiString& name)
{
    if (name == L"Label")
        return static_cast<CLabelUI*>(this);
    return CControlUI::GetInterface(name);
}

void CLabelUI::SetTextColor(DWORD dwColor)
{
    if (m_dwTextColor == dwColor)
        return;
    m_dwTextColor = dwColor;
    Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD dwColor)
{
    if (m_dwDisabledTextColor == dwColor)
        return;
    m_dwDisabledTextColor = dwColor;
    Invalidate();
}

void CLabelUI::SetFont(int index)
{
    if (m_iFont == index)
        return;
    m_iFont = index;
    Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc)
{
    m_rcTextPadding = rc;
    Invalidate();
}

void CLabelUI::SetTextStyle(UINT uStyle)
{
    if (m_uTextStyle == uStyle)
        return;
    m_uTextStyle = uStyle;
    Invalidate();
}

void CLabelUI::SetAttribute(const CDuiString& name, const CDuiString& value)
{
    const wchar_t* n = name.c_str();
    if (_wcsicmp(n, L"textcolor") == 0)
        SetTextColor(ParseColor(value));
    else if (_wcsicmp(n, L"disabledtextcolor") == 0)
        SetDisabledTextColor(ParseColor(value));
    else if (_wcsicmp(n, L"font") == 0)
        SetFont(ParseInt(value, -1));
    else if (_wcsicmp(n, L"textpadding") == 0)
        SetTextPadding(ParseRect(value));
    else if (_wcsicmp(n, L"align") == 0) {
        UINT style = m_uTextStyle & ~(DT_STYLE_CENTER | DT_STYLE_RIGHT);
        if (value.find(L"center") != CDuiString::npos)
            style |= DT_STYLE_CENTER;
        else if (value.find(L"right") != CDuiString::npos)
            style |= DT_STYLE_RIGHT;
        SetTextStyle(style);
    } else if (_wcsicmp(n, L"valign") == 0) {
        UINT style = m_uTextStyle & ~(DT_STYLE_VCENTER | DT_STYLE_BOTTOM);
        if (value.find(L"vcenter") != CDuiString::npos || value.find(L"center") != CDuiString::npos)
            style |= DT_STYLE_VCENTER;
        else if (value.find(L"bottom") != CDuiString::npos)
            style |= DT_STYLE_BOTTOM;
        SetTextStyle(style);
    } else if (_wcsicmp(n, L"endellipsis") == 0)
        SetTextStyle(ParseBool(value) ? (m_uTextStyle | DT_STYLE_END_ELLIPSIS) : (m_uTextStyle & ~DT_STYLE_END_ELLIPSIS));
    else if (_wcsicmp(n, L"wordbreak") == 0 || _wcsicmp(n, L"multiline") == 0)
        SetTextStyle(ParseBool(value) ? ((m_uTextStyle | DT_STYLE_WORDBREAK) & ~DT_STYLE_SINGLELINE)
                                      : ((m_uTextStyle & ~DT_STYLE_WORDBREAK) | DT_STYLE_SINGLELINE));
    else
        CControlUI::SetAttribute(name, value);
}

void CLabelUI::PaintText(HDC hDC)
{
    if (m_sText.empty() || !m_pManager)
        return;
    RECT rc = m_rcItem;
    rc.left += m_pManager->ScaleValue(m_rcTextPadding.left);
    rc.top += m_pManager->ScaleValue(m_rcTextPadding.top);
    rc.right -= m_pManager->ScaleValue(m_rcTextPadding.right);
    rc.bottom -= m_pManager->ScaleValue(m_rcTextPadding.bottom);
    // A line break in the text means several lines, whatever the style says.
    UINT style = m_uTextStyle;
    if (m_sText.find(L'\n') != CDuiString::npos)
        style &= ~DT_STYLE_SINGLELINE;
    CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, IsEnabled() ? m_dwTextColor : m_dwDisabledTextColor,
                            m_iFont, style);
}

CButtonUI::CButtonUI()
{
    m_uTextStyle = DT_STYLE_CENTER | DT_STYLE_VCENTER | DT_STYLE_SINGLELINE;
}

CDuiString CButtonUI::GetClass() const
{
    return L"ButtonUI";
}

LPVOID CButtonUI::GetInterface(const CDuiString& name)
{
    if (name == L"Button")
        return static_cast<CButtonUI*>(this);
    return CLabelUI::GetInterface(name);
}

bool CButtonUI::Activate()
{
    if (!IsVisible() || !IsEnabled())
        return false;
    if (m_pManager)
        m_pManager->SendNotify(this, L"click");
    return true;
}

void CButtonUI::SetAttribute(const CDuiString& name, const CDuiString& value)
{
    const wchar_t* n = name.c_str();
    if (_wcsicmp(n, L"hotbkcolor") == 0)
        m_dwHotBkColor = ParseColor(value);
    else if (_wcsicmp(n, L"pushedbkcolor") == 0)
        m_dwPushedBkColor = ParseColor(value);
    else if (_wcsicmp(n, L"hottextcolor") == 0)
        m_dwHotTextColor = ParseColor(value);
    else if (_wcsicmp(n, L"pushedtextcolor") == 0)
        m_dwPushedTextColor = ParseColor(value);
    else
        CLabelUI::SetAttribute(name, value);
}

void CButtonUI::DoEvent(TEventUI& event)
{
    switch (event.Type) {
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_bHot = true;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        m_bHot = false;
        Invalidate();
        return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (IsEnabled() && ::PtInRect(&m_rcItem, event.ptMouse)) {
            m_bCaptured = true;
            m_bPushed = true;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if (m_bCaptured) {
            const bool inside = ::PtInRect(&m_rcItem, event.ptMouse) != FALSE;
            if (inside != m_bPushed) {
                m_bPushed = inside;
                Invalidate();
            }
        }
        return;
    case UIEVENT_BUTTONUP: {
        const bool wasCaptured = m_bCaptured;
        m_bCaptured = false;
        m_bPushed = false;
        Invalidate();
        // A press that wanders off and comes back still clicks; one released elsewhere does not.
        if (wasCaptured && ::PtInRect(&m_rcItem, event.ptMouse))
            Activate();
        return;
    }
    case UIEVENT_CAPTURELOST:
        m_bCaptured = false;
        m_bPushed = false;
        Invalidate();
        return;
    default:
        CLabelUI::DoEvent(event);
    }
}

void CButtonUI::PaintBkColor(HDC hDC)
{
    DWORD color = m_dwBackColor;
    if (m_bPushed && m_dwPushedBkColor)
        color = m_dwPushedBkColor;
    else if (m_bHot && m_dwHotBkColor)
        color = m_dwHotBkColor;
    CRenderEngine::DrawColor(hDC, m_rcItem, color);
}

void CButtonUI::PaintText(HDC hDC)
{
    const DWORD normal = m_dwTextColor;
    if (m_bPushed && m_dwPushedTextColor)
        m_dwTextColor = m_dwPushedTextColor;
    else if (m_bHot && m_dwHotTextColor)
        m_dwTextColor = m_dwHotTextColor;
    CLabelUI::PaintText(hDC);
    m_dwTextColor = normal;
}

}  // namespace DuiLib
