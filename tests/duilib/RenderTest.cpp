#include "platform/Win32.h"

#include "duilib/UIGdiplus.h"
#include "duilib/UIlib.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 60;

// Paints its background with plain GDI, which leaves alpha at 0.
class GdiFilledUI : public CControlUI {
public:
    void PaintBkColor(HDC hDC) override
    {
        HBRUSH brush = ::CreateSolidBrush(RGB(0, 0, 255));
        ::FillRect(hDC, &m_rcItem, brush);
        ::DeleteObject(brush);
    }
};

// Paints like the windows' root controls: GDI+ on the step's device context,
// deliberately beyond its own rectangle.
class GdiplusPainterUI : public CControlUI {
public:
    void PaintBkColor(HDC hDC) override
    {
        CDibGraphics g(hDC);
        Gdiplus::SolidBrush brush(Gdiplus::Color(0x80, 0x00, 0xFF, 0x00));
        g->FillRectangle(&brush, 0, 0, kWidth, kHeight);
    }
};

class Render : public ::testing::Test {
protected:
    void SetUp() override
    {
        pm.SetInitSize(kWidth, kHeight);
        root = new CContainerUI;
        pm.AttachDialog(root);
    }
    template <typename T>
    T* AddFloating(RECT pos)
    {
        auto* control = new T;
        control->SetFloat(true);
        control->SetFloatPos(pos);
        root->Add(control);
        return control;
    }
    void Paint()
    {
        bits = pm.RenderLayered();
        ASSERT_NE(bits, nullptr);
    }
    DWORD At(int x, int y) const { return bits[y * kWidth + x]; }
    int CountIf(bool (*pred)(DWORD)) const
    {
        int n = 0;
        for (int i = 0; i < kWidth * kHeight; ++i)
            n += pred(bits[i]) ? 1 : 0;
        return n;
    }

    CPaintManagerUI pm;
    CContainerUI* root = nullptr;
    const DWORD* bits = nullptr;
};

TEST_F(Render, LabelTextPixelsAppearInItsColour)
{
    pm.AddFont(1, L"Microsoft YaHei", 28, true, false, false, false);
    auto* label = AddFloating<CLabelUI>(RECT{0, 0, kWidth, kHeight});
    label->SetFont(1);
    label->SetTextColor(0xFFFF0000);
    label->SetText(L"88");
    Paint();

    EXPECT_GT(CountIf([](DWORD p) { return p == 0xFFFF0000u; }), 20);
    // Premultiplied red at any coverage keeps green and blue at zero.
    EXPECT_EQ(CountIf([](DWORD p) { return (p & 0x0000FFFFu) != 0; }), 0);
}

TEST_F(Render, ChineseTextRendersThroughTheFontMapping)
{
    pm.AddFont(1, L"Microsoft YaHei", 14, false, false, false, false);
    auto* label = AddFloating<CLabelUI>(RECT{0, 0, kWidth, kHeight});
    label->SetFont(1);
    label->SetText(L"上证指数");
    Paint();

    EXPECT_GT(CountIf([](DWORD p) { return (p >> 24) >= 0x80; }), 100);
    // Four full-width glyphs: about four ems wide when a CJK face was found.
    const SIZE extent = pm.MeasureText(L"上证指数", 1);
    EXPECT_GE(extent.cx, 48);
    EXPECT_LE(extent.cx, 64);
}

TEST_F(Render, HiddenControlsPaintNothing)
{
    auto* label = AddFloating<CLabelUI>(RECT{10, 10, 60, 40});
    label->SetBkColor(0xFF00FF00);
    label->SetText(L"hidden");
    label->SetVisible(false);
    auto* box = AddFloating<CContainerUI>(RECT{60, 10, 110, 40});
    auto* inner = new CLabelUI;
    inner->SetBkColor(0xFF00FF00);
    box->Add(inner);
    box->SetVisible(false);
    Paint();

    EXPECT_EQ(CountIf([](DWORD p) { return p != 0; }), 0);
}

TEST_F(Render, GdiDrawnPixelsComeOutOpaque)
{
    AddFloating<GdiFilledUI>(RECT{20, 20, 40, 40});
    Paint();

    EXPECT_EQ(At(30, 30), 0xFF0000FFu);
    EXPECT_EQ(At(10, 10), 0u);
}

TEST_F(Render, GdiplusPaintingStepsAreClippedAndKeepTheirAlpha)
{
    auto* box = AddFloating<CContainerUI>(RECT{10, 5, 50, 25});
    box->Add(new GdiplusPainterUI);
    Paint();

    const DWORD inside = At(12, 6);  // half-transparent green, premultiplied, the right way up
    EXPECT_EQ(inside >> 24, 0x80u);
    EXPECT_NEAR(static_cast<int>((inside >> 8) & 0xFF), 0x80, 1);
    EXPECT_EQ(At(49, 24), inside);
    for (POINT p : {POINT{9, 6}, POINT{12, 4}, POINT{50, 24}, POINT{12, 25}, POINT{100, 50}})
        EXPECT_EQ(At(p.x, p.y), 0u) << p.x << "," << p.y;
}

// Blends a prepared 2 x 2 buffer, as a painter with a cached body would.
class CachedPainterUI : public CControlUI {
public:
    void PaintBkColor(HDC hDC) override
    {
        const DWORD px[4] = {0xFFFF0000, 0x80800000, 0x00000000, 0xFF0000FF};
        CRenderEngine::DrawPremultiplied(hDC, m_rcItem.left - 1, m_rcItem.top, px, 2, 2);
    }
};

TEST_F(Render, PremultipliedBuffersBlendSourceOverInsideTheClip)
{
    auto* back = AddFloating<CControlUI>(RECT{0, 0, 40, 40});
    back->SetBkColor(0xFF00FF00);
    AddFloating<CachedPainterUI>(RECT{11, 10, 30, 30});  // the buffer starts one pixel left of it
    Paint();

    EXPECT_EQ(At(10, 10), 0xFF00FF00u);  // outside the painter: clipped away
    EXPECT_EQ(At(11, 10), 0xFF807F00u);  // half red over green
    EXPECT_EQ(At(10, 11), 0xFF00FF00u);
    EXPECT_EQ(At(11, 11), 0xFF0000FFu);
    EXPECT_EQ(At(12, 12), 0xFF00FF00u);
}

TEST_F(Render, LayeredBitsAreOfferedOnlyForTheToolkitsDib)
{
    Paint();
    DWORD* px = nullptr;
    int width = 0, height = 0;
    ASSERT_TRUE(CRenderEngine::GetLayeredBits(pm.GetLayeredDC(), px, width, height));
    EXPECT_EQ(px, bits);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);

    HDC other = ::CreateCompatibleDC(nullptr);
    EXPECT_FALSE(CRenderEngine::GetLayeredBits(other, px, width, height));
    ::DeleteDC(other);
}

TEST_F(Render, TransparentMarginStaysTransparent)
{
    root->SetInset(RECT{8, 8, 8, 8});
    auto* body = new CControlUI;
    body->SetBkColor(0xFFFFFFFF);
    root->Add(body);
    auto* glass = AddFloating<CControlUI>(RECT{100, 0, 120, 8});
    glass->SetBkColor(0x80FF0000);
    Paint();

    for (POINT p : {POINT{0, 0}, POINT{7, 30}, POINT{kWidth - 1, kHeight - 1}, POINT{60, kHeight - 8}})
        EXPECT_EQ(At(p.x, p.y), 0u) << p.x << "," << p.y;
    EXPECT_EQ(At(8, 8), 0xFFFFFFFFu);
    EXPECT_EQ(At(kWidth - 9, kHeight - 9), 0xFFFFFFFFu);
    const DWORD half = At(110, 4);  // half-transparent red, premultiplied
    EXPECT_EQ(half >> 24, 0x80u);
    EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 0x80, 1);
    EXPECT_EQ(half & 0xFFFFu, 0u);
}

}  // namespace
