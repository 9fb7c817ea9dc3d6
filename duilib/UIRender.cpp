#include "platform/Win32.h"

#include "duilib/UIRender.h"

#include "duilib/UIManager.h"

#include "duilib/UIGdiplus.h"

#include <cwchar>
#include <cwctype>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

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

namespace {

// Direct access to the toolkit's own DIB: fills and cached text are blended
// into the bits without GDI+, which is much cheaper per paint step.
struct DibTarget {
    DWORD* bits = nullptr;
    int width = 0;
    int height = 0;
    RECT clip = {0, 0, 0, 0};
};

bool GetDibTarget(HDC hDC, DibTarget& target)
{
    HBITMAP hBitmap = static_cast<HBITMAP>(::GetCurrentObject(hDC, OBJ_BITMAP));
    if (!hBitmap)
        return false;
    {
        std::lock_guard<std::mutex> lock(g_topDownLock);
        if (!g_topDown.count(hBitmap))
            return false;
    }
    DIBSECTION ds = {};
    if (::GetObjectW(hBitmap, sizeof(ds), &ds) != sizeof(ds) || ds.dsBm.bmBitsPixel != 32 || !ds.dsBm.bmBits ||
        ds.dsBm.bmWidthBytes != ds.dsBm.bmWidth * 4)
        return false;
    POINT viewport = {}, window = {};
    ::GetViewportOrgEx(hDC, &viewport);
    ::GetWindowOrgEx(hDC, &window);
    if (viewport.x || viewport.y || window.x || window.y)
        return false;
    RECT box = {};
    const int kind = ::GetClipBox(hDC, &box);
    if (kind == ERROR || kind == COMPLEXREGION)
        return false;
    const RECT bounds = {0, 0, ds.dsBm.bmWidth, ds.dsBm.bmHeight};
    if (kind == NULLREGION || !::IntersectRect(&target.clip, &box, &bounds))
        target.clip = RECT{0, 0, 0, 0};
    target.bits = static_cast<DWORD*>(ds.dsBm.bmBits);
    target.width = ds.dsBm.bmWidth;
    target.height = ds.dsBm.bmHeight;
    ::GdiFlush();
    return true;
}

inline DWORD Premultiply(DWORD argb)
{
    const DWORD a = argb >> 24;
    if (a == 255)
        return argb;
    const DWORD r = ((argb >> 16) & 0xFF) * a / 255;
    const DWORD g = ((argb >> 8) & 0xFF) * a / 255;
    const DWORD b = (argb & 0xFF) * a / 255;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Source-over of a premultiplied pixel.
inline DWORD Over(DWORD src, DWORD dst)
{
    const DWORD a = src >> 24;
    if (a == 255)
        return src;
    if (a == 0)
        return dst;
    const DWORD inv = 255 - a;
    const DWORD rb = ((dst & 0x00FF00FFu) * inv + 0x00800080u);
    const DWORD ag = (((dst >> 8) & 0x00FF00FFu) * inv + 0x00800080u);
    const DWORD rb2 = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    const DWORD ag2 = ((ag + ((ag >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    return src + (rb2 | (ag2 << 8));
}

void FillRect(DibTarget& t, const RECT& rc, DWORD argb)
{
    RECT area = {};
    if (!::IntersectRect(&area, &rc, &t.clip))
        return;
    const DWORD src = Premultiply(argb);
    for (LONG y = area.top; y < area.bottom; ++y) {
        DWORD* row = t.bits + static_cast<size_t>(y) * t.width;
        for (LONG x = area.left; x < area.right; ++x)
            row[x] = Over(src, row[x]);
    }
}

void BlendImage(DibTarget& t, const DWORD* px, int w, int h, int left, int top)
{
    const RECT rc = {left, top, left + w, top + h};
    RECT area = {};
    if (!::IntersectRect(&area, &rc, &t.clip))
        return;
    for (LONG y = area.top; y < area.bottom; ++y) {
        DWORD* row = t.bits + static_cast<size_t>(y) * t.width;
        const DWORD* src = px + static_cast<size_t>(y - top) * w - left;
        for (LONG x = area.left; x < area.right; ++x)
            row[x] = Over(src[x], row[x]);
    }
}

// Rendered texts by everything that shapes their pixels. Labels repaint the
// same text on every frame of a layered window; GDI+ text is the dearest step.
struct TextKey {
    std::wstring text;
    std::wstring face;
    int size;
    int scale;
    int flags;
    DWORD color;
    int width;
    int height;
    UINT style;
    bool operator<(const TextKey& o) const
    {
        return std::tie(text, face, size, scale, flags, color, width, height, style) <
               std::tie(o.text, o.face, o.size, o.scale, o.flags, o.color, o.width, o.height, o.style);
    }
};

// Bounded by count and by pixels; when either is exceeded the cache starts over.
constexpr size_t kMaxCachedTexts = 256;
constexpr size_t kMaxCachedPixels = 2 * 1024 * 1024;
std::mutex g_textCacheLock;
std::map<TextKey, std::vector<DWORD>> g_textCache;
size_t g_textCachePixels = 0;

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

bool CRenderEngine::GetLayeredBits(HDC hDC, DWORD*& bits, int& width, int& height)
{
    DibTarget target;
    if (!GetDibTarget(hDC, target))
        return false;
    bits = target.bits;
    width = target.width;
    height = target.height;
    return true;
}

void CRenderEngine::DrawColor(HDC hDC, const RECT& rc, DWORD dwColor)
{
    if ((dwColor >> 24) == 0 || rc.right <= rc.left || rc.bottom <= rc.top)
        return;
    DibTarget target;
    if (GetDibTarget(hDC, target)) {
        FillRect(target, rc, dwColor);
        return;
    }
    CDibGraphics g(hDC);
    Gdiplus::SolidBrush brush{Gdiplus::Color(dwColor)};
    g->FillRectangle(&brush, static_cast<INT>(rc.left), static_cast<INT>(rc.top),
                     static_cast<INT>(rc.right - rc.left), static_cast<INT>(rc.bottom - rc.top));
}

void CRenderEngine::DrawPremultiplied(HDC hDC, int x, int y, const DWORD* pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return;
    DibTarget target;
    if (GetDibTarget(hDC, target)) {
        BlendImage(target, pixels, width, height, x, y);
        return;
    }
    CDibGraphics g(hDC);
    Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppPARGB,
                           reinterpret_cast<BYTE*>(const_cast<DWORD*>(pixels)));
    g->DrawImage(&bitmap, x, y, width, height);
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
    const bool multiLine = IsMultiLine(text, uStyle);
    DibTarget target;
    if (GetDibTarget(hDC, target)) {
        const TFontInfo* info = pManager->GetFontInfo(iFont);
        const int width = rc.right - rc.left;
        const int height = rc.bottom - rc.top;
        TextKey key{text, info->sFaceName, info->iSize, pManager->GetDPIScale(),
                    (info->bBold ? 1 : 0) | (info->bItalic ? 2 : 0) | (info->bUnderline ? 4 : 0) |
                        (info->bStrikeout ? 8 : 0),
                    dwTextColor, width, height, uStyle};
        std::lock_guard<std::mutex> lock(g_textCacheLock);
        auto it = g_textCache.find(key);
        if (it == g_textCache.end()) {
            if (g_textCache.size() >= kMaxCachedTexts ||
                g_textCachePixels + static_cast<size_t>(width) * height > kMaxCachedPixels) {
                g_textCache.clear();
                g_textCachePixels = 0;
            }
            std::vector<DWORD> px(static_cast<size_t>(width) * height, 0);
            {
                Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppPARGB,
                                       reinterpret_cast<BYTE*>(px.data()));
                Gdiplus::Graphics g(&bitmap);
                g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
                Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
                FillFormat(format, uStyle, multiLine);
                Gdiplus::RectF layout(0, 0, static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height));
                Gdiplus::SolidBrush brush{Gdiplus::Color(dwTextColor)};
                g.DrawString(text.c_str(), static_cast<INT>(text.size()), font, layout, &format, &brush);
            }
            g_textCachePixels += px.size();
            it = g_textCache.emplace(std::move(key), std::move(px)).first;
        }
        BlendImage(target, it->second.data(), width, height, rc.left, rc.top);
        return;
    }
    CDibGraphics g(hDC);
    // Grayscale antialiasing: ClearType's per-channel coverage has no meaning
    // on a per-pixel-alpha surface.
    g->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    FillFormat(format, uStyle, multiLine);
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
