#include "platform/Win32.h"

#include "duilib/UIlib.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using namespace DuiLib;

namespace {

class TestWnd : public CWindowWnd, public INotifyUI {
public:
    LPCWSTR GetWindowClassName() const override { return L"VelTrayDuiTestWnd"; }

    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (uMsg == WM_CREATE) {
            handleAtCreate = m_hWnd;
            pm.Init(m_hWnd);
            root = new CContainerUI;
            pm.AttachDialog(root);
            pm.SetLayered(true);
            pm.AddNotifier(this);
            button = new CButtonUI;
            button->SetName(L"btnOk");
            button->SetFloat(true);
            button->SetFloatPos(RECT{10, 10, 60, 40});
            root->Add(button);
            return 0;
        }
        return HandleWithManager(pm, uMsg, wParam, lParam);
    }
    void OnFinalMessage(HWND) override { ++finalMessages; }
    void Notify(TNotifyUI& msg) override
    {
        if (msg.sType == L"click")
            clicks.push_back(msg.pSender);
        else
            others.push_back(msg.sType);
    }

    CPaintManagerUI pm;
    CContainerUI* root = nullptr;
    CButtonUI* button = nullptr;
    HWND handleAtCreate = nullptr;
    int finalMessages = 0;
    std::vector<CControlUI*> clicks;
    std::vector<std::wstring> others;
};

HWND CreateTestWindow(TestWnd& wnd)
{
    return wnd.Create(nullptr, L"test", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW, 100, 100, 198, 70);
}

TEST(WindowWnd, BindsAtCreationAndForgetsTheHandleAfterDestruction)
{
    TestWnd first;
    TestWnd second;  // same class: the registration must be tolerated
    HWND h1 = CreateTestWindow(first);
    HWND h2 = CreateTestWindow(second);
    ASSERT_NE(h1, nullptr);
    ASSERT_NE(h2, nullptr);
    EXPECT_EQ(first.handleAtCreate, h1);
    EXPECT_EQ(first.GetHWND(), h1);
    EXPECT_EQ(CreateTestWindow(first), nullptr);  // one window per object

    ::DestroyWindow(h1);
    EXPECT_EQ(first.GetHWND(), nullptr);
    EXPECT_EQ(first.finalMessages, 1);
    EXPECT_EQ(second.finalMessages, 0);
    ::DestroyWindow(h2);
    EXPECT_EQ(second.finalMessages, 1);
}

TEST(WindowWnd, ClickOnlyWhenReleasedOverTheButton)
{
    struct Step {
        UINT message;
        int x, y;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        size_t clicks;
    } cases[] = {
        {"press and release inside", {{WM_LBUTTONDOWN, 20, 20}, {WM_LBUTTONUP, 30, 30}}, 1},
        {"release outside", {{WM_LBUTTONDOWN, 20, 20}, {WM_MOUSEMOVE, 100, 50}, {WM_LBUTTONUP, 100, 50}}, 0},
        {"press outside", {{WM_LBUTTONDOWN, 100, 50}, {WM_MOUSEMOVE, 20, 20}, {WM_LBUTTONUP, 20, 20}}, 0},
        {"out and back in",
         {{WM_LBUTTONDOWN, 20, 20}, {WM_MOUSEMOVE, 100, 50}, {WM_MOUSEMOVE, 25, 25}, {WM_LBUTTONUP, 25, 25}},
         1},
    };
    for (const auto& c : cases) {
        TestWnd wnd;
        HWND hwnd = CreateTestWindow(wnd);
        ASSERT_NE(hwnd, nullptr);
        for (const Step& s : c.steps)
            ::SendMessageW(hwnd, s.message, s.message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(s.x, s.y));
        EXPECT_EQ(wnd.clicks.size(), c.clicks) << c.name;
        if (!wnd.clicks.empty()) {
            EXPECT_EQ(wnd.clicks[0], wnd.button) << c.name;
        }
        EXPECT_FALSE(wnd.button->IsPushed()) << c.name;
        EXPECT_TRUE(wnd.others.empty()) << c.name;  // presses and focus changes notify nobody
        ::DestroyWindow(hwnd);
    }
}

struct ToolTipSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchToolTip(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<ToolTipSearch*>(lParam);
    wchar_t cls[64] = {};
    ::GetClassNameW(hwnd, cls, 64);
    if (std::wstring(cls) == TOOLTIPS_CLASSW && ::GetWindow(hwnd, GW_OWNER) == search->owner) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindToolTip(HWND owner)
{
    ToolTipSearch search = {owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &MatchToolTip, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(WindowWnd, HoverShowsTheControlsTooltipAndLeavingHidesIt)
{
    TestWnd wnd;
    HWND hwnd = CreateTestWindow(wnd);
    ASSERT_NE(hwnd, nullptr);
    wnd.button->SetToolTip(L"第一行<n>第二行");
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(wnd.pm.GetHover(), wnd.button);
    ::SendMessageW(hwnd, WM_MOUSEHOVER, 0, MAKELPARAM(20, 20));
    HWND tip = FindToolTip(hwnd);
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(::IsWindowVisible(tip));
    EXPECT_EQ(::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);

    ::SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(tip));
    EXPECT_EQ(wnd.pm.GetHover(), nullptr);
    ::DestroyWindow(hwnd);
}

TEST(WindowWnd, LayeredPaintingRendersOnWmPaint)
{
    TestWnd wnd;
    HWND hwnd = CreateTestWindow(wnd);
    ASSERT_NE(hwnd, nullptr);
    wnd.button->SetBkColor(0xFFDD1828);
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ::InvalidateRect(hwnd, nullptr, FALSE);
    ::UpdateWindow(hwnd);

    const RECT& dirty = wnd.pm.GetDirtyRect();
    EXPECT_TRUE(dirty.right <= dirty.left);  // the paint consumed it
    ASSERT_NE(wnd.pm.GetLayeredDC(), nullptr);
    EXPECT_EQ(::GetPixel(wnd.pm.GetLayeredDC(), 30, 30), RGB(0xDD, 0x18, 0x28));
    ::DestroyWindow(hwnd);
}

}  // namespace
