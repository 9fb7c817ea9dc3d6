#include "platform/Win32.h"

#include "duilib/UIControl.h"

#include "duilib/UIManager.h"
#include "duilib/UIRender.h"

#include <cwctype>

namespace DuiLib {

namespace {

void ReplaceAll(CDuiString& text, const CDuiString& from, const CDuiString& to)
{
    for (size_t pos = text.find(from); pos != CDuiString::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

CControlUI* FindByName(CControlUI* pThis, LPVOID pData)
{
    const CDuiString& name = *static_cast<const CDuiString*>(pData);
    const CDuiString& own = pThis->GetName();
    return !own.empty() && _wcsicmp(own.c_str(), name.c_str()) == 0 ? pThis : nullptr;
}

}  // namespace

CControlUI::CControlUI() = default;

CControlUI::~CControlUI()
{
    if (m_pManager)
        m_pManager->ReapObjects(this);
}

CDuiString CControlUI::GetClass() const
{
    return L"ControlUI";
}

LPVOID CControlUI::GetInterface(const CDuiString& name)
{
    return name == L"Control" ? this : nullptr;
}

void CControlUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit)
{
    m_pManager = pManager;
    m_pParent = pParent;
    if (bInit && m_pParent)
        Init();
    else if (bInit && pManager && pManager->GetRoot() == this)
        Init();
}

void CControlUI::Init()
{
    if (m_bInited)
        return;
    m_bInited = true;
    DoInit();
}

void CControlUI::SetText(const CDuiString& text)
{
    CDuiString converted = text;
    ReplaceAll(converted, L"{\\n}", L"\n");
    if (converted == m_sText)
        return;
    m_sText = std::move(converted);
    Invalidate();
}

void CControlUI::SetToolTip(const CDuiString& text)
{
    CDuiString converted = text;
    ReplaceAll(converted, L"<n>", L"\r\n");
    m_sToolTip = std::move(converted);
}

void CControlUI::SetVisible(bool bVisible)
{
    if (m_bVisible == bVisible)
        return;
    if (!bVisible)
        Invalidate();  // the area it leaves must be repainted
    m_bVisible = bVisible;
    if (!bVisible && m_pManager) {
        CControlUI* pFocus = m_pManager->GetFocus();
        for (CControlUI* p = pFocus; p; p = p->GetParent())
            if (p == this) {
                m_pManager->SetFocus(nullptr);
                break;
            }
    }
    NeedParentUpdate();
    if (bVisible)
        Invalidate();
}

bool CControlUI::IsVisibleInTree() const
{
    for (const CControlUI* p = this; p; p = p->GetParent())
        if (!p->IsVisible())
            return false;
    return true;
}

void CControlUI::SetEnabled(bool bEnable)
{
    if (m_bEnabled == bEnable)
        return;
    m_bEnabled = bEnable;
    Invalidate();
}

bool CControlUI::IsFocused() const
{
    return m_pManager && m_pManager->GetFocus() == this;
}

void CControlUI::SetFocus()
{
    if (m_pManager)
        m_pManager->SetFocus(this);
}

void CControlUI::SetPos(RECT rc)
{
    if (rc.right < rc.left)
        rc.right = rc.left;
    if (rc.bottom < rc.top)
        rc.bottom = rc.top;
    if (::EqualRect(&rc, &m_rcItem))
        return;
    Invalidate();
    m_rcItem = rc;
    Invalidate();
}

void CControlUI::SetFixedWidth(int cx)
{
    if (cx < 0 || cx == m_cxyFixed.cx)
        return;
    m_cxyFixed.cx = cx;
    NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy)
{
    if (cy < 0 || cy == m_cxyFixed.cy)
        return;
    m_cxyFixed.cy = cy;
    NeedParentUpdate();
}

void CControlUI::SetPadding(RECT rc)
{
    m_rcPadding = rc;
    NeedParentUpdate();
}

void CControlUI::SetFloat(bool bFloat)
{
    if (m_bFloat == bFloat)
        return;
    m_bFloat = bFloat;
    NeedParentUpdate();
}

void CControlUI::SetFloatPos(RECT rc)
{
    m_rcFloat = rc;
    if (m_cxyFixed.cx == 0 && rc.right > rc.left)
        m_cxyFixed.cx = rc.right - rc.left;
    if (m_cxyFixed.cy == 0 && rc.bottom > rc.top)
        m_cxyFixed.cy = rc.bottom - rc.top;
    NeedParentUpdate();
}

SIZE CControlUI::EstimateSize(SIZE)
{
    return m_cxyFixed;
}

void CControlUI::SetBkColor(DWORD dwColor)
{
    if (m_dwBackColor == dwColor)
        return;
    m_dwBackColor = dwColor;
    Invalidate();
}

void CControlUI::SetBorderColor(DWORD dwColor)
{
    if (m_dwBorderColor == dwColor)
        return;
    m_dwBorderColor = dwColor;
    Invalidate();
}

void CControlUI::SetBorderSize(int nSize)
{
    if (m_nBorderSize == nSize)
        return;
    m_nBorderSize = nSize;
    Invalidate();
}

void CControlUI::SetAttribute(const CDuiString& name, const CDuiString& value)
{
    const wchar_t* n = name.c_str();
    if (_wcsicmp(n, L"name") == 0)
        SetName(value);
    else if (_wcsicmp(n, L"text") == 0)
        SetText(value);
    else if (_wcsicmp(n, L"tooltip") == 0)
        SetToolTip(value);
    else if (_wcsicmp(n, L"visible") == 0)
        SetVisible(ParseBool(value));
    else if (_wcsicmp(n, L"enabled") == 0)
        SetEnabled(ParseBool(value));
    else if (_wcsicmp(n, L"mouse") == 0)
        SetMouseEnabled(ParseBool(value));
    else if (_wcsicmp(n, L"float") == 0)
        SetFloat(ParseBool(value));
    else if (_wcsicmp(n, L"pos") == 0) {
        SetFloatPos(ParseRect(value));
    } else if (_wcsicmp(n, L"width") == 0)
        SetFixedWidth(ParseInt(value));
    else if (_wcsicmp(n, L"height") == 0)
        SetFixedHeight(ParseInt(value));
    else if (_wcsicmp(n, L"padding") == 0)
        SetPadding(ParseRect(value));
    else if (_wcsicmp(n, L"bkcolor") == 0)
        SetBkColor(ParseColor(value));
    else if (_wcsicmp(n, L"bordercolor") == 0)
        SetBorderColor(ParseColor(value));
    else if (_wcsicmp(n, L"bordersize") == 0)
        SetBorderSize(ParseInt(value));
    else if (_wcsicmp(n, L"tag") == 0)
        SetTag(static_cast<UINT_PTR>(ParseInt(value)));
    else if (_wcsicmp(n, L"style") == 0) {
        if (m_pManager) {
            const CDuiString list = m_pManager->GetStyle(value);
            if (!list.empty())
                ApplyAttributeList(list);
        }
    }
}

void CControlUI::ApplyAttributeList(const CDuiString& list)
{
    const wchar_t* p = list.c_str();
    for (;;) {
        while (*p && std::iswspace(*p))
            ++p;
        if (!*p)
            return;
        CDuiString name;
        while (*p && *p != L'=' && !std::iswspace(*p))
            name += *p++;
        while (*p && std::iswspace(*p))
            ++p;
        if (*p != L'=')
            return;  // malformed: stop rather than guess
        ++p;
        while (*p && std::iswspace(*p))
            ++p;
        const wchar_t quote = *p;
        if (quote != L'"' && quote != L'\'')
            return;
        ++p;
        CDuiString value;
        while (*p && *p != quote)
            value += *p++;
        if (*p != quote)
            return;
        ++p;
        SetAttribute(name, value);
    }
}

void CControlUI::Invalidate()
{
    if (!m_pManager || !IsVisible())
        return;
    RECT rc = m_rcItem;
    for (CControlUI* p = m_pParent; p; p = p->GetParent()) {
        if (!p->IsVisible())
            return;
        RECT clipped = {};
        if (!::IntersectRect(&clipped, &rc, &p->GetPos()))
            return;
        rc = clipped;
    }
    m_pManager->Invalidate(rc);
}

void CControlUI::NeedParentUpdate()
{
    if (m_pParent) {
        m_pParent->NeedUpdate();
        m_pParent->Invalidate();
    } else {
        NeedUpdate();
    }
    if (m_pManager)
        m_pManager->NeedUpdate();
}

void CControlUI::NeedUpdate()
{
    if (m_pManager)
        m_pManager->NeedUpdate();
}

CControlUI* CControlUI::FindControl(FINDCONTROLPROC proc, LPVOID pData, UINT uFlags)
{
    if ((uFlags & UIFIND_VISIBLE) && !IsVisible())
        return nullptr;
    if ((uFlags & UIFIND_ENABLED) && !IsEnabled())
        return nullptr;
    if ((uFlags & UIFIND_HITTEST) && (!m_bMouseEnabled || !::PtInRect(&m_rcItem, *static_cast<POINT*>(pData))))
        return nullptr;
    return proc(this, pData);
}

CControlUI* CControlUI::FindSubControl(const CDuiString& name)
{
    if (name.empty())
        return nullptr;
    CDuiString key = name;
    return FindControl(FindByName, &key, UIFIND_ALL);
}

void CControlUI::DoEvent(TEventUI& event)
{
    // Unhandled wheel turns go to the parent, so that an enclosing scrollable
    // container scrolls.
    if (event.Type == UIEVENT_SCROLLWHEEL && m_pParent)
        m_pParent->DoEvent(event);
}

bool CControlUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    RECT rc = {};
    if (!::IntersectRect(&rc, &rcPaint, &m_rcItem))
        return false;
    // Each step stays inside the control's own rectangle.
    const int saved = ::SaveDC(hDC);
    ::IntersectClipRect(hDC, rc.left, rc.top, rc.right, rc.bottom);
    PaintBkColor(hDC);
    PaintStatusImage(hDC);
    PaintText(hDC);
    PaintBorder(hDC);
    ::RestoreDC(hDC, saved);
    return true;
}

void CControlUI::PaintBkColor(HDC hDC)
{
    CRenderEngine::DrawColor(hDC, m_rcItem, m_dwBackColor);
}

void CControlUI::PaintBorder(HDC hDC)
{
    CRenderEngine::DrawBorder(hDC, m_rcItem, m_nBorderSize, m_dwBorderColor);
}

}  // namespace DuiLib
