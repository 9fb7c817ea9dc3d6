#pragma once
#include "duilib/UIDefine.h"

#include <memory>

namespace Gdiplus {
class Graphics;
class Bitmap;
class Font;
}  // namespace Gdiplus

namespace DuiLib {

class CPaintManagerUI;

// Starts GDI+ once per process. It is never shut down: windows may paint until
// the very end, and the process exit releases it.
void EnsureGdiplus();

// A GDI+ surface on whatever a painting step's device context draws into.
// When a 32-bit DIB section is selected (layered painting), GDI+ writes the
// bits directly as premultiplied ARGB, so antialiased edges and text carry
// correct alpha; otherwise it falls back to the device context itself. The
// device context's clip region is honoured either way.
// GetObject reports a top-down DIB section's height as positive on some
// systems, so the orientation of the toolkit's own DIBs is recorded here.
void RegisterTopDownDib(HBITMAP hBitmap, bool registered);

class CDibGraphics {
public:
    explicit CDibGraphics(HDC hDC);
    ~CDibGraphics();
    CDibGraphics(const CDibGraphics&) = delete;
    CDibGraphics& operator=(const CDibGraphics&) = delete;

    Gdiplus::Graphics& Get() { return *m_graphics; }
    Gdiplus::Graphics* operator->() { return m_graphics.get(); }

private:
    std::unique_ptr<Gdiplus::Bitmap> m_bitmap;
    std::unique_ptr<Gdiplus::Graphics> m_graphics;
};

class CRenderEngine {
public:
    // The pixels of the toolkit's layered DIB selected into hDC: top-down rows
    // of width premultiplied BGRA values. False for any other device context.
    static bool GetLayeredBits(HDC hDC, DWORD*& bits, int& width, int& height);
    // dwColor is ARGB; 0 alpha draws nothing.
    static void DrawColor(HDC hDC, const RECT& rc, DWORD dwColor);
    static void DrawBorder(HDC hDC, const RECT& rc, int nSize, DWORD dwColor);
    // Blends premultiplied BGRA pixels (width x height, top-down) at (x, y),
    // source-over. Painters that draw the same shapes on every frame render
    // them once into such a buffer and blend it here: GDI+ shapes are costly
    // per frame, a blend is not.
    static void DrawPremultiplied(HDC hDC, int x, int y, const DWORD* pixels, int width, int height);
    static void DrawText(HDC hDC, CPaintManagerUI* pManager, const RECT& rc, const CDuiString& text,
                         DWORD dwTextColor, int iFont, UINT uStyle);
    // Extent of the text laid out on one line (or wrapped to cxMax when > 0).
    static SIZE GetTextSize(HDC hDC, CPaintManagerUI* pManager, const CDuiString& text, int iFont,
                            UINT uStyle, int cxMax = 0);
};

// Markup value parsers, shared by every control's SetAttribute.
DWORD ParseColor(const CDuiString& value);  // "#AARRGGBB", "#RRGGBB" (opaque), "0x..."
RECT ParseRect(const CDuiString& value);    // "l,t,r,b"
SIZE ParseSize(const CDuiString& value);    // "cx,cy"
bool ParseBool(const CDuiString& value);    // "true" ignoring case
int ParseInt(const CDuiString& value, int fallback = 0);

}  // namespace DuiLib
