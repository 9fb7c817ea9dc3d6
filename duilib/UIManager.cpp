#include "platform/Win32.h"

#include "duilib/UIManager.h"

#include "duilib/UIControl.h"
#include "duilib/UIRender.h"

#include <commctrl.h>
#include "duilib/UIGdiplus.h"
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace DuiLib {

namespace {

constexpr size_t kMaxFaceChars = LF_FACESIZE - 1;  // 31
constexpr int kDefaultFontSize = 12;
constexpr wchar_t kDefaultFace[] = L"Microsoft YaHei";

CControlUI* FindControlFromPoint(CControlUI* pThis, LPVOID pData)
{
    const POINT* pt = static_cast<const POINT*>(pData);
    return ::PtInRect(&pThis->GetPos(), *pt) ? pThis : nullptr;
}

bool IsSameOrDescendant(const CControlUI* pControl, const CControlUI* pAncestor)
{
    for (; pControl; pControl = pControl->GetParent())
        if (pControl == pAncestor)
            return true;
    return false;
}

// Per-monitor DPI when the system offers it (Windows 8.1 on), else the
// system DPI of the screen.
int ReadDpiScale(HWND hWnd)
{
    UINT dpi = 0;
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static HMODULE shcore = ::LoadLibraryW(L"shcore.dll");
    if (shcore && hWnd) {
        auto fn = reinterpret_cast<GetDpiForMonitorFn>(
            reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
        UINT dpiX = 0, dpiY = 0;
        if (fn && SUCCEEDED(fn(::MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST), 0, &dpiX, &dpiY)))
            dpi = dpiX;
    }
    if (dpi == 0) {
        HDC hdc = ::GetDC(nullptr);
        dpi = static_cast<UINT>(::GetDeviceCaps(hdc, LOGPIXELSX));
        ::ReleaseDC(nullptr, hdc);
    }
    return dpi == 0 ? 100 : ::MulDiv(static_cast<int>(dpi), 100, 96);
}

}  // namespace

TFontInfo::TFontInfo() = default;

TFontInfo::~TFontInfo()
{
    gdiplusFont.reset();
    if (hFont)
        ::DeleteObject(hFont);
}

bool CPaintManagerUI::NoCaseLess::operator()(const CDuiString& a, const CDuiString& b) const
{
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
}

CPaintManagerUI::SharedTables& CPaintManagerUI::Shared()
{
    static SharedTables tables;
    return tables;
}

void CPaintManagerUI::ClearSharedTables()
{
    SharedTables& shared = Shared();
    shared.fonts.clear();
    shared.defaultFont.reset();
    shared.styles.clear();
    shared.defaults.clear();
}

CPaintManagerUI::CPaintManagerUI()
{
    EnsureGdiplus();
    m_hDcMeasure = ::CreateCompatibleDC(nullptr);
}

CPaintManagerUI::~CPaintManagerUI()
{
    delete m_pRoot;
    m_pRoot = nullptr;
    if (m_hWndToolTip && ::IsWindow(m_hWndToolTip))
        ::DestroyWindow(m_hWndToolTip);
    ReleaseLayeredBuffer();
    m_fonts.clear();
    m_defaultFont.reset();
    if (m_hDcMeasure)
        ::DeleteDC(m_hDcMeasure);
}

void CPaintManagerUI::Init(HWND hWnd)
{
    m_hWndPaint = hWnd;
    SetDPIScale(ReadDpiScale(hWnd));
    NeedUpdate();
}

bool CPaintManagerUI::AttachDialog(CControlUI* pControl)
{
    if (!pControl)
        return false;
    if (m_pRoot && m_pRoot != pControl) {
        ReapObjects(m_pRoot);
        delete m_pRoot;
    }
    m_pRoot = pControl;
    NeedUpdate();
    return InitControls(pControl, nullptr);
}

bool CPaintManagerUI::InitControls(CControlUI* pControl, CControlUI* pParent)
{
    if (!pControl)
        return false;
    pControl->SetManager(this, pParent ? pParent : pControl->GetParent(), true);
    return true;
}

void CPaintManagerUI::SetInitSize(int cx, int cy)
{
    m_szInit = SIZE{cx, cy};
    NeedUpdate();
}

SIZE CPaintManagerUI::GetClientSize() const
{
    if (m_hWndPaint && ::IsWindow(m_hWndPaint)) {
        RECT rc = {};
        ::GetClientRect(m_hWndPaint, &rc);
        if (rc.right > 0 && rc.bottom > 0)
            return SIZE{rc.right, rc.bottom};
    }
    return m_szInit;
}

void CPaintManagerUI::Invalidate()
{
    const SIZE size = GetClientSize();
    Invalidate(RECT{0, 0, size.cx, size.cy});
}

void CPaintManagerUI::Invalidate(const RECT& rc)
{
    if (rc.right <= rc.left || rc.bottom <= rc.top)
        return;
    if (m_hWndPaint)
        ::InvalidateRect(m_hWndPaint, &rc, FALSE);
    RECT joined = {};
    ::UnionRect(&joined, &m_rcDirty, &rc);
    m_rcDirty = joined;
}

void CPaintManagerUI::NeedUpdate()
{
    m_bUpdateNeeded = true;
}

bool CPaintManagerUI::EnsureLayeredBuffer(SIZE size)
{
    if (m_pLayeredBits && size.cx == m_szLayered.cx && size.cy == m_szLayered.cy)
        return true;
    ReleaseLayeredBuffer();
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = size.cx;
    bmi.bmiHeader.biHeight = -size.cy;  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_hbmpLayered = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_hbmpLayered || !bits) {
        m_hbmpLayered = nullptr;
        return false;
    }
    RegisterTopDownDib(m_hbmpLayered, true);
    m_hDcLayered = ::CreateCompatibleDC(nullptr);
    m_hbmpOld = ::SelectObject(m_hDcLayered, m_hbmpLayered);
    m_pLayeredBits = static_cast<DWORD*>(bits);
    m_szLayered = size;
    return true;
}

void CPaintManagerUI::ReleaseLayeredBuffer()
{
    if (m_hDcLayered) {
        ::SelectObject(m_hDcLayered, m_hbmpOld);
        ::DeleteDC(m_hDcLayered);
    }
    if (m_hbmpLayered) {
        RegisterTopDownDib(m_hbmpLayered, false);
        ::DeleteObject(m_hbmpLayered);
    }
    m_hDcLayered = nullptr;
    m_hbmpLayered = nullptr;
    m_hbmpOld = nullptr;
    m_pLayeredBits = nullptr;
    m_szLayered = SIZE{0, 0};
}

void CPaintManagerUI::EnsureLayout()
{
    const SIZE size = GetClientSize();
    const RECT rcClient = {0, 0, size.cx, size.cy};
    if (m_pRoot && (m_bUpdateNeeded || !::EqualRect(&rcClient, &m_rcLaidOut))) {
        m_bUpdateNeeded = false;
        m_rcLaidOut = rcClient;
        m_pRoot->SetPos(rcClient);
    }
}

const DWORD* CPaintManagerUI::RenderLayered()
{
    const SIZE size = GetClientSize();
    if (size.cx <= 0 || size.cy <= 0 || !EnsureLayeredBuffer(size))
        return nullptr;
    const RECT rcClient = {0, 0, size.cx, size.cy};
    EnsureLayout();
    std::memset(m_pLayeredBits, 0, static_cast<size_t>(size.cx) * size.cy * sizeof(DWORD));
    ::SelectClipRgn(m_hDcLayered, nullptr);
    if (m_pRoot)
        m_pRoot->DoPaint(m_hDcLayered, rcClient);
    ::GdiFlush();
    // GDI leaves alpha at 0 where it draws; such pixels are meant opaque.
    DWORD* p = m_pLayeredBits;
    DWORD* const end = p + static_cast<size_t>(size.cx) * size.cy;
    for (; p != end; ++p)
        if ((*p & 0xFF000000u) == 0 && (*p & 0x00FFFFFFu) != 0)
            *p |= 0xFF000000u;
    m_rcDirty = RECT{0, 0, 0, 0};
    return m_pLayeredBits;
}

void CPaintManagerUI::PaintWindow()
{
    PAINTSTRUCT ps = {};
    HDC hdc = ::BeginPaint(m_hWndPaint, &ps);
    if (m_bLayered) {
        ::EndPaint(m_hWndPaint, &ps);
        if (!RenderLayered())
            return;
        SIZE size = m_szLayered;
        POINT ptSrc = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::UpdateLayeredWindow(m_hWndPaint, nullptr, nullptr, &size, m_hDcLayered, &ptSrc, 0, &blend, ULW_ALPHA);
        return;
    }
    if (RenderLayered())
        ::BitBlt(hdc, 0, 0, m_szLayered.cx, m_szLayered.cy, m_hDcLayered, 0, 0, SRCCOPY);
    ::EndPaint(m_hWndPaint, &ps);
}

void CPaintManagerUI::SendEvent(CControlUI* pControl, int type, POINT pt, WPARAM wParam, LPARAM lParam)
{
    if (!pControl)
        return;
    TEventUI event;
    event.Type = type;
    event.pSender = pControl;
    event.dwTimestamp = ::GetTickCount();
    event.ptMouse = pt;
    event.wParam = wParam;
    event.lParam = lParam;
    if (type == UIEVENT_CHAR || type == UIEVENT_KEYDOWN)
        event.chKey = static_cast<WCHAR>(wParam);
    pControl->DoEvent(event);
}

void CPaintManagerUI::UpdateHover(POINT pt)
{
    CControlUI* pNew = FindControl(pt);
    if (pNew == m_pEventHover)
        return;
    HideToolTip();
    CControlUI* pOld = m_pEventHover;
    m_pEventHover = pNew;
    if (pOld)
        SendEvent(pOld, UIEVENT_MOUSELEAVE, pt);
    if (pNew)
        SendEvent(pNew, UIEVENT_MOUSEENTER, pt);
    if (m_hWndPaint) {
        // Re-arm hover so that the new control's tooltip can show.
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE | TME_HOVER, m_hWndPaint, 400};
        m_bMouseTracking = ::TrackMouseEvent(&tme) != FALSE;
    }
}

void CPaintManagerUI::ShowToolTip(CControlUI* pControl, POINT ptClient)
{
    if (!pControl || pControl->GetToolTip().empty() || !m_hWndPaint) {
        HideToolTip();
        return;
    }
    if (!m_hWndToolTip) {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        m_hWndToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                          WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                          CW_USEDEFAULT, CW_USEDEFAULT, m_hWndPaint, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
        if (!m_hWndToolTip)
            return;
        ::SendMessageW(m_hWndToolTip, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    m_sToolTipText = pControl->GetToolTip();
    // The version 5 layout: valid with and without Common Controls 6.
    TTTOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    ti.hwnd = m_hWndPaint;
    ti.uId = 1;
    ti.lpszText = const_cast<LPWSTR>(m_sToolTipText.c_str());
    if (!m_pToolTipControl && m_sToolTipText.size())
        ::SendMessageW(m_hWndToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    ::SendMessageW(m_hWndToolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    POINT pt = ptClient;
    ::ClientToScreen(m_hWndPaint, &pt);
    ::SendMessageW(m_hWndToolTip, TTM_TRACKPOSITION, 0, MAKELPARAM(pt.x + 2, pt.y + 20));
    ::SendMessageW(m_hWndToolTip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    m_pToolTipControl = pControl;
}

void CPaintManagerUI::HideToolTip()
{
    if (m_hWndToolTip && m_pToolTipControl) {
        TTTOOLINFOW ti = {};
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        ti.hwnd = m_hWndPaint;
        ti.uId = 1;
        ::SendMessageW(m_hWndToolTip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
        ::SendMessageW(m_hWndToolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    m_pToolTipControl = nullptr;
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes)
{
    if (!m_hWndPaint)
        return false;
    const POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    // Input may come before the first paint; hit tests need the layout.
    if (uMsg >= WM_MOUSEFIRST && uMsg <= WM_MOUSELAST)
        EnsureLayout();
    switch (uMsg) {
    case WM_ERASEBKGND:
        lRes = 1;
        return true;
    case WM_PAINT:
        PaintWindow();
        lRes = 0;
        return true;
    case WM_SIZE:
        NeedUpdate();
        Invalidate();
        return false;
    case WM_MOUSEMOVE:
        UpdateHover(pt);
        if (m_pEventClick)
            SendEvent(m_pEventClick, UIEVENT_MOUSEMOVE, pt, wParam, lParam);
        else if (m_pEventHover)
            SendEvent(m_pEventHover, UIEVENT_MOUSEMOVE, pt, wParam, lParam);
        return false;
    case WM_MOUSEHOVER:
        m_bMouseTracking = false;
        if (m_pEventHover && !m_pEventClick) {
            SendEvent(m_pEventHover, UIEVENT_MOUSEHOVER, pt, wParam, lParam);
            ShowToolTip(m_pEventHover, pt);
        }
        return false;
    case WM_MOUSELEAVE: {
        m_bMouseTracking = false;
        HideToolTip();
        CControlUI* pOld = m_pEventHover;
        m_pEventHover = nullptr;
        if (pOld)
            SendEvent(pOld, UIEVENT_MOUSELEAVE, pt);
        return false;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        HideToolTip();
        CControlUI* pControl = FindControl(pt);
        if (!pControl)
            return false;
        SetFocus(pControl);
        m_pEventClick = pControl;
        ::SetCapture(m_hWndPaint);
        SendEvent(pControl, uMsg == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK, pt, wParam, lParam);
        return false;
    }
    case WM_LBUTTONUP: {
        CControlUI* pControl = m_pEventClick;
        if (!pControl)
            return false;
        // Cleared first: releasing the capture sends WM_CAPTURECHANGED.
        m_pEventClick = nullptr;
        ::ReleaseCapture();
        SendEvent(pControl, UIEVENT_BUTTONUP, pt, wParam, lParam);
        return false;
    }
    case WM_CAPTURECHANGED:
        if (m_pEventClick && reinterpret_cast<HWND>(lParam) != m_hWndPaint) {
            CControlUI* pControl = m_pEventClick;
            m_pEventClick = nullptr;
            SendEvent(pControl, UIEVENT_CAPTURELOST, pt);
        }
        return false;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        SendEvent(FindControl(pt), uMsg == WM_RBUTTONDOWN ? UIEVENT_RBUTTONDOWN : UIEVENT_RBUTTONUP, pt, wParam,
                  lParam);
        return false;
    case WM_MOUSEWHEEL: {
        POINT ptClient = pt;
        ::ScreenToClient(m_hWndPaint, &ptClient);
        SendEvent(FindControl(ptClient), UIEVENT_SCROLLWHEEL, ptClient, wParam, lParam);
        return false;
    }
    case WM_KEYDOWN:
    case WM_CHAR:
        if (m_pFocus)
            SendEvent(m_pFocus, uMsg == WM_KEYDOWN ? UIEVENT_KEYDOWN : UIEVENT_CHAR, pt, wParam, lParam);
        return false;
    case WM_DESTROY:
        HideToolTip();
        m_hWndToolTip = nullptr;  // owned by the window, destroyed with it
        return false;
    case WM_NCDESTROY:
        m_hWndPaint = nullptr;
        return false;
    default:
        return false;
    }
}

bool CPaintManagerUI::AddNotifier(INotifyUI* pNotifier)
{
    if (!pNotifier || std::find(m_notifiers.begin(), m_notifiers.end(), pNotifier) != m_notifiers.end())
        return false;
    m_notifiers.push_back(pNotifier);
    return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* pNotifier)
{
    auto it = std::find(m_notifiers.begin(), m_notifiers.end(), pNotifier);
    if (it == m_notifiers.end())
        return false;
    m_notifiers.erase(it);
    return true;
}

void CPaintManagerUI::SendNotify(CControlUI* pControl, const CDuiString& type, WPARAM wParam, LPARAM lParam)
{
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = pControl;
    msg.dwTimestamp = ::GetTickCount();
    msg.wParam = wParam;
    msg.lParam = lParam;
    if (m_hWndPaint) {
        ::GetCursorPos(&msg.ptMouse);
        ::ScreenToClient(m_hWndPaint, &msg.ptMouse);
    }
    // A notifier may add or remove notifiers while it runs.
    const std::vector<INotifyUI*> notifiers = m_notifiers;
    for (INotifyUI* pNotifier : notifiers)
        if (std::find(m_notifiers.begin(), m_notifiers.end(), pNotifier) != m_notifiers.end())
            pNotifier->Notify(msg);
}

void CPaintManagerUI::SetFocus(CControlUI* pControl)
{
    if (pControl == m_pFocus)
        return;
    CControlUI* pOld = m_pFocus;
    m_pFocus = pControl;
    // Events only: notifiers hear of clicks, and a focus change on every
    // press would reach the windows' callbacks as noise.
    const POINT none = {0, 0};
    if (pOld)
        SendEvent(pOld, UIEVENT_KILLFOCUS, none);
    if (pControl && m_pFocus == pControl)
        SendEvent(pControl, UIEVENT_SETFOCUS, none);
}

void CPaintManagerUI::ReapObjects(CControlUI* pControl)
{
    if (!pControl)
        return;
    if (IsSameOrDescendant(m_pFocus, pControl))
        m_pFocus = nullptr;
    if (IsSameOrDescendant(m_pEventHover, pControl))
        m_pEventHover = nullptr;
    if (IsSameOrDescendant(m_pEventClick, pControl))
        m_pEventClick = nullptr;
    if (IsSameOrDescendant(m_pToolTipControl, pControl))
        HideToolTip();
    if (m_pRoot == pControl)
        m_pRoot = nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const
{
    if (!m_pRoot)
        return nullptr;
    return m_pRoot->FindControl(FindControlFromPoint, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindControl(const CDuiString& name) const
{
    return m_pRoot ? m_pRoot->FindSubControl(name) : nullptr;
}

void CPaintManagerUI::SetDPIScale(int nPercent)
{
    if (nPercent <= 0)
        nPercent = 100;
    if (nPercent == m_nDPIScale)
        return;
    m_nDPIScale = nPercent;
    RebuildFonts();
    NeedUpdate();
    Invalidate();
}

int CPaintManagerUI::ScaleValue(int value) const
{
    return ::MulDiv(value, m_nDPIScale, 100);
}

std::unique_ptr<TFontInfo> CPaintManagerUI::MakeFont(const CDuiString& face, int size, bool bold, bool underline,
                                                     bool italic, bool strikeout) const
{
    auto info = std::make_unique<TFontInfo>();
    info->sFaceName = face.substr(0, kMaxFaceChars);
    info->iSize = size;
    info->bBold = bold;
    info->bUnderline = underline;
    info->bItalic = italic;
    info->bStrikeout = strikeout;
    LOGFONTW lf = {};
    std::wcsncpy(lf.lfFaceName, info->sFaceName.c_str(), kMaxFaceChars);
    lf.lfHeight = -ScaleValue(size);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfStrikeOut = strikeout ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    info->hFont = ::CreateFontIndirectW(&lf);
    if (!info->hFont)
        return nullptr;
    return info;
}

void CPaintManagerUI::RebuildFonts()
{
    for (auto& entry : m_fonts) {
        TFontInfo& old = *entry.second;
        if (auto rebuilt = MakeFont(old.sFaceName, old.iSize, old.bBold, old.bUnderline, old.bItalic, old.bStrikeout))
            entry.second = std::move(rebuilt);
    }
    if (m_defaultFont) {
        TFontInfo& old = *m_defaultFont;
        if (auto rebuilt = MakeFont(old.sFaceName, old.iSize, old.bBold, old.bUnderline, old.bItalic, old.bStrikeout))
            m_defaultFont = std::move(rebuilt);
    }
}

HFONT CPaintManagerUI::AddFont(int id, const CDuiString& face, int size, bool bold, bool underline, bool italic,
                               bool strikeout, bool shared)
{
    auto info = MakeFont(face, size, bold, underline, italic, strikeout);
    if (!info)
        return nullptr;
    HFONT hFont = info->hFont;
    FontTable& table = shared ? Shared().fonts : m_fonts;
    table[id] = std::move(info);
    Invalidate();
    return hFont;
}

bool CPaintManagerUI::RemoveFont(int id, bool shared)
{
    FontTable& table = shared ? Shared().fonts : m_fonts;
    return table.erase(id) != 0;
}

void CPaintManagerUI::SetDefaultFont(const CDuiString& face, int size, bool bold, bool underline, bool italic,
                                     bool strikeout, bool shared)
{
    auto info = MakeFont(face, size, bold, underline, italic, strikeout);
    if (!info)
        return;
    (shared ? Shared().defaultFont : m_defaultFont) = std::move(info);
    Invalidate();
}

TFontInfo* CPaintManagerUI::DefaultFontInfo()
{
    if (m_defaultFont)
        return m_defaultFont.get();
    if (Shared().defaultFont)
        return Shared().defaultFont.get();
    m_defaultFont = MakeFont(kDefaultFace, kDefaultFontSize, false, false, false, false);
    return m_defaultFont.get();
}

TFontInfo* CPaintManagerUI::GetFontInfo(int id)
{
    auto it = m_fonts.find(id);
    if (it != m_fonts.end())
        return it->second.get();
    FontTable& shared = Shared().fonts;
    it = shared.find(id);
    if (it != shared.end())
        return it->second.get();
    return DefaultFontInfo();
}

HFONT CPaintManagerUI::GetFont(int id)
{
    TFontInfo* info = GetFontInfo(id);
    return info ? info->hFont : nullptr;
}

Gdiplus::Font* CPaintManagerUI::GetGdiplusFont(int id)
{
    TFontInfo* info = GetFontInfo(id);
    if (!info)
        return nullptr;
    if (!info->gdiplusFont) {
        auto font = std::make_unique<Gdiplus::Font>(m_hDcMeasure, info->hFont);
        if (font->GetLastStatus() != Gdiplus::Ok) {
            // GDI+ takes TrueType faces only; anything else draws in the generic sans serif.
            INT style = (info->bBold ? Gdiplus::FontStyleBold : 0) | (info->bItalic ? Gdiplus::FontStyleItalic : 0) |
                        (info->bUnderline ? Gdiplus::FontStyleUnderline : 0) |
                        (info->bStrikeout ? Gdiplus::FontStyleStrikeout : 0);
            font = std::make_unique<Gdiplus::Font>(Gdiplus::FontFamily::GenericSansSerif(),
                                                   static_cast<Gdiplus::REAL>(ScaleValue(info->iSize)), style,
                                                   Gdiplus::UnitPixel);
            if (font->GetLastStatus() != Gdiplus::Ok)
                return nullptr;
        }
        info->gdiplusFont = std::move(font);
    }
    return info->gdiplusFont.get();
}

SIZE CPaintManagerUI::MeasureText(const CDuiString& text, int iFont)
{
    return CRenderEngine::GetTextSize(m_hDcMeasure, this, text, iFont, DT_STYLE_SINGLELINE);
}

void CPaintManagerUI::AddStyle(const CDuiString& name, const CDuiString& value, bool shared)
{
    (shared ? Shared().styles : m_styles)[name] = value;
}

CDuiString CPaintManagerUI::GetStyle(const CDuiString& name) const
{
    auto it = m_styles.find(name);
    if (it != m_styles.end())
        return it->second;
    it = Shared().styles.find(name);
    return it != Shared().styles.end() ? it->second : CDuiString();
}

bool CPaintManagerUI::RemoveStyle(const CDuiString& name, bool shared)
{
    return (shared ? Shared().styles : m_styles).erase(name) != 0;
}

void CPaintManagerUI::AddDefaultAttributeList(const CDuiString& className, const CDuiString& list, bool shared)
{
    (shared ? Shared().defaults : m_defaults)[className] = list;
}

CDuiString CPaintManagerUI::GetDefaultAttributeList(const CDuiString& className) const
{
    auto it = m_defaults.find(className);
    if (it != m_defaults.end())
        return it->second;
    it = Shared().defaults.find(className);
    return it != Shared().defaults.end() ? it->second : CDuiString();
}

bool CPaintManagerUI::RemoveDefaultAttributeList(const CDuiString& className, bool shared)
{
    return (shared ? Shared().defaults : m_defaults).erase(className) != 0;
}

}  // namespace DuiLib
