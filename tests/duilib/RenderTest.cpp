#include "platform/Win32.h"

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
