#include "platform/Win32.h"

#include "duilib/UIRender.h"

#include "duilib/UIManager.h"

#include "duilib/UIGdiplus.h"

#include <cwchar>
#include <cwctype>
#include <mutex>
#include <set>

namespace DuiLib {

void EnsureGdiplus()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    });
}

namespace {
std::mutex g_topDownLock;
std::set<HBITMAP> g_topDown;

bool IsTopDown(HBITMAP hBitmap, const DIBSECTION& ds)
{
    {
        std::lock_guard<std::mutex> lock(g_topDownLock);
        if (g_topDown.count(hBitmap))
            return true;
    }
    return ds.dsBmih.biHeight < 0;
}
}  // namespace

void RegisterTopDownDib(HBITMAP hBitmap, bool registered)
{
    std::lock_guard<std::mutex> lock(g_topDownLock);
    if (registered)
        g_topDown.insert(hBitmap);
    else
        g_topDown.erase(hBitmap);
}

CDibGraphics::CDibGraphics(HDC hDC)
{
    EnsureGdiplus();
    // GDI batches its calls; the bits must be current before GDI+ touches them.
    ::GdiFlush();
    HBITMAP hBitmap = static_cast<HBITMAP>(::GetCurrentObject(hDC, OBJ_BITMAP));
    DIBSECTION ds = {};
    if (hBitmap && ::GetObjectW(hBitmap, sizeof(ds), &ds) == sizeof(ds) && ds.dsBm.bmBitsPixel == 32 &&
        ds.dsBm.bmBits) {
        const int width = ds.dsBm.bmWidth;
        const int height = ds.dsBm.bmHeight;
        const int stride = ds.dsBm.bmWidthBytes;
        BYTE* bits = static_cast<BYTE*>(ds.dsBm.bmBits);
        if (!IsTopDown(hBitmap, ds))  // bottom-up: start at the last row, walk backwards
            m_bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, -stride, PixelFormat32bppPARGB,
                                                         bits + static_cast<size_t>(height - 1) * stride);
        else
            m_bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, stride, PixelFormat32bppPARGB, bits);
        m_graphics = std::make_unique<Gdiplus::Graphics>(m_bitmap.get());
        HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
        if (::GetClipRgn(hDC, rgn) == 1) {
            Gdiplus::Region region(rgn);
            m_graphics->SetClip(&region);
        }
        ::DeleteObject(rgn);
    } else {
        m_graphics = std::make_unique<Gdiplus::Graphics>(hDC);
    }
}

CDibGraphics::~CDibGraphics()
{
    m_graphics.reset();
    m_bitmap.reset();
}

void CRenderEngine::DrawColor(HDC hDC, const RECT& rc, DWORD dwColor)
{
    if ((dwColor >> 24) == 0 || rc.right <= rc.left || rc.bottom <= rc.top)
        return;
    CDibGraphics g(hDC);
    Gdiplus::SolidBrush brush{Gdiplus::Color(dwColor)};
    g->FillRectangle(&brush, static_cast<INT>(rc.left), static_cast<INT>(rc.top),
                     static_cast<INT>(rc.right - rc.left), static_cast<INT>(rc.bottom - rc.top));
}

void CRenderEngine::DrawBorder(HDC hDC, const RECT& rc, int nSize, DWORD dwColor)
{
    if (nSize <= 0 || (dwColor >> 24) == 0)
        return;
    RECT edges[4] = {{rc.left, rc.top, rc.right, rc.top + nSize},
                     {rc.left, rc.bottom - nSize, rc.right, rc.bottom},
                     {rc.left, rc.top + nSize, rc.left + nSize, rc.bottom - nSize},
                     {rc.right - nSize, rc.top + nSize, rc.right, rc.bottom - nSize}};
    for (const RECT& e : edges)
        DrawColor(hDC, e, dwColor);
}

namespace {

void FillFormat(Gdiplus::StringFormat& format, UINT uStyle, bool multiLine)
{
    format.SetAlignment((uStyle & DT_STYLE_CENTER)  ? Gdiplus::StringAlignmentCenter
                        : (uStyle & DT_STYLE_RIGHT) ? Gdiplus::StringAlignmentFar
                                                    : Gdiplus::StringAlignmentNear);
    format.SetLineAlignment((uStyle & DT_STYLE_VCENTER)  ? Gdiplus::StringAlignmentCenter
                            : (uStyle & DT_STYLE_BOTTOM) ? Gdiplus::StringAlignmentFar
                                                         : Gdiplus::StringAlignmentNear);
    INT flags = format.GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces;
    if (!multiLine)
        flags |= Gdiplus::StringFormatFlagsNoWrap;
    format.SetFormatFlags(flags);
    format.SetTrimming((uStyle & DT_STYLE_END_ELLIPSIS) ? Gdiplus::StringTrimmingEllipsisCharacter
                                                        : Gdiplus::StringTrimmingNone);
}

bool IsMultiLine(const CDuiString& text, UINT uStyle)
{
    if (uStyle & DT_STYLE_SINGLELINE)
        return false;
    return (uStyle & DT_STYLE_WORDBREAK) || text.find(L'\n') != CDuiString::npos;
}

}  // namespace

void CRenderEngine::DrawText(HDC hDC, CPaintManagerUI* pManager, const RECT& rc, const CDuiString& text,
                             DWORD dwTextColor, int iFont, UINT uStyle)
{
    if (text.empty() || !pManager || (dwTextColor >> 24) == 0 || rc.right <= rc.left || rc.bottom <= rc.top)
        return;
    Gdiplus::Font* font = pManager->GetGdiplusFont(iFont);
    if (!font)
        return;
    CDibGraphics g(hDC);
    // Grayscale antialiasing: ClearType's per-channel coverage has no meaning
    // on a per-pixel-alpha surface.
    g->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    FillFormat(format, uStyle, IsMultiLine(text, uStyle));
    Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(rc.left), static_cast<Gdiplus::REAL>(rc.top),
                          static_cast<Gdiplus::REAL>(rc.right - rc.left),
                          static_cast<Gdiplus::REAL>(rc.bottom - rc.top));
    Gdiplus::SolidBrush brush{Gdiplus::Color(dwTextColor)};
    g->DrawString(text.c_str(), static_cast<INT>(text.size()), font, layout, &format, &brush);
}

SIZE CRenderEngine::GetTextSize(HDC hDC, CPaintManagerUI* pManager, const CDuiString& text, int iFont,
                                UINT uStyle, int cxMax)
{
    SIZE size = {0, 0};
    if (text.empty() || !pManager)
        return size;
    Gdiplus::Font* font = pManager->GetGdiplusFont(iFont);
    if (!font)
        return size;
    EnsureGdiplus();
    Gdiplus::Graphics g(hDC ? hDC : pManager->GetMeasureDC());
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    const bool multiLine = cxMax > 0 && IsMultiLine(text, uStyle);
    FillFormat(format, uStyle & ~(DT_STYLE_CENTER | DT_STYLE_RIGHT | DT_STYLE_VCENTER | DT_STYLE_BOTTOM),
               multiLine || text.find(L'\n') != CDuiString::npos);
    Gdiplus::RectF bounds;
    Gdiplus::RectF layout(0, 0, cxMax > 0 ? static_cast<Gdiplus::REAL>(cxMax) : 100000.0f, 100000.0f);
    g.MeasureString(text.c_str(), static_cast<INT>(text.size()), font, layout, &format, &bounds);
    size.cx = static_cast<LONG>(bounds.Width + 0.99f);
    size.cy = static_cast<LONG>(bounds.Height + 0.99f);
    return size;
}

DWORD ParseColor(const CDuiString& value)
{
    const wchar_t* p = value.c_str();
    while (*p == L' ')
        ++p;
    if (*p == L'#')
        ++p;
    else if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X'))
        p += 2;
    wchar_t* end = nullptr;
    const unsigned long v = std::wcstoul(p, &end, 16);
    const size_t digits = static_cast<size_t>(end - p);
    if (digits == 0)
        return 0;
    // Six digits name an opaque colour; eight carry their own alpha.
    return digits <= 6 ? (0xFF000000u | (v & 0xFFFFFFu)) : static_cast<DWORD>(v);
}

RECT ParseRect(const CDuiString& value)
{
    RECT rc = {0, 0, 0, 0};
    LONG* parts[4] = {&rc.left, &rc.top, &rc.right, &rc.bottom};
    const wchar_t* p = value.c_str();
    for (LONG* part : parts) {
        while (*p == L' ' || *p == L',')
            ++p;
        if (!*p)
            break;
        wchar_t* end = nullptr;
        *part = std::wcstol(p, &end, 10);
        if (end == p)
            break;
        p = end;
    }
    return rc;
}

SIZE ParseSize(const CDuiString& value)
{
    const RECT rc = ParseRect(value);
    return SIZE{rc.left, rc.top};
}

bool ParseBool(const CDuiString& value)
{
    return _wcsicmp(value.c_str(), L"true") == 0;
}

int ParseInt(const CDuiString& value, int fallback)
{
    const wchar_t* p = value.c_str();
    wchar_t* end = nullptr;
    const long v = std::wcstol(p, &end, 10);
    return end == p ? fallback : static_cast<int>(v);
}

}  // namespace DuiLib
