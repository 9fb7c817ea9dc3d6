// Paints the ball's frame (198 x 70, template_ball with a price and a shadowed
// body) many times and prints the time per frame: render into the DIB alone,
// and the whole WM_PAINT path with UpdateLayeredWindow.
//
//   paint-bench --theme DIR [--frames N]
#include "platform/Win32.h"

#include "duilib/UIGdiplus.h"
#include "duilib/UIlib.h"
#include "skin/ContainerBase.h"
#include "skin/Workspace.h"

#include <cstdio>
#include <memory>
#include <string>

using namespace DuiLib;
using namespace VelUICore;

namespace {

// About what the ball's root paints: six shadow layers and the white body,
// either as toolkit fills or as antialiased GDI+ shapes.
class BenchRootUI : public CContainerUI {
public:
    bool gdiplusShapes = false;
    void PaintBkColor(HDC hDC) override
    {
        if (!gdiplusShapes) {
            for (int i = 6; i >= 1; --i)
                CRenderEngine::DrawColor(hDC, RECT{8 - i, 9 - i, 190 + i, 63 + i}, static_cast<DWORD>(11 - i) << 24);
            CRenderEngine::DrawColor(hDC, RECT{8, 8, 190, 62}, 0xFFFFFFFF);
            return;
        }
        CDibGraphics g(hDC);
        g->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        for (int i = 6; i >= 1; --i) {
            Gdiplus::SolidBrush shadow(Gdiplus::Color(static_cast<BYTE>(11 - i), 0, 0, 0));
            g->FillRectangle(&shadow, 8 - i, 9 - i, 182 + 2 * i, 54 + 2 * i);
        }
        Gdiplus::SolidBrush body(Gdiplus::Color(255, 255, 255, 255));
        g->FillRectangle(&body, 8, 8, 182, 54);
    }
};

class BenchWnd : public CWindowWnd {
public:
    LPCWSTR GetWindowClassName() const override { return L"VelTrayPaintBenchWnd"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (uMsg == WM_CREATE) {
            pm.Init(m_hWnd);
            pm.AttachDialog(new BenchRootUI);
            pm.SetLayered(true);
            workspace.Bind(m_hWnd, &pm);
            return 0;
        }
        return HandleWithManager(pm, uMsg, wParam, lParam);
    }
    CPaintManagerUI pm;
    SkinFolder skin;
    CMainWorkspace workspace;
};

class PriceLabelStandIn : public CLabelUI {
public:
    static CControlUI* Create() { return new PriceLabelStandIn; }
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER freq;
    ::QueryPerformanceFrequency(&freq);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring theme;
    int frames = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == L"--theme")
            theme = argv[i + 1];
        else if (std::wstring(argv[i]) == L"--frames")
            frames = ParseInt(argv[i + 1], frames);
    }
    std::unique_ptr<CControlUI> probe(CControlFactory::GetInstance()->CreateControl(L"CBallPriceLabelUI"));
    if (!probe)
        CControlFactory::GetInstance()->RegistControl(L"CBallPriceLabelUI", &PriceLabelStandIn::Create);

    BenchWnd wnd;
    if (!wnd.Create(nullptr, L"paint bench", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 0, 0, 198,
                    70))
        return 1;
    auto container = std::make_unique<CContainerBase>();
    if (!wnd.skin.Load(theme) || !wnd.workspace.Initialize(&wnd.skin) ||
        !wnd.workspace.LoadContainer(container.get(), L"template_ball")) {
        std::fprintf(stderr, "paint-bench: cannot load template_ball from the theme\n");
        return 1;
    }
    CControlUI* root = container.release()->GetRoot();
    root->FindSubControl(L"lblName")->SetText(L"上证指数");
    root->FindSubControl(L"lblPrice")->SetText(L"3021.55");
    root->FindSubControl(L"lblChange")->SetText(L"+0.12%");
    ::ShowWindow(wnd.GetHWND(), SW_SHOWNOACTIVATE);

    auto* benchRoot = static_cast<BenchRootUI*>(wnd.pm.GetRoot());
    std::printf("paint-bench: 198x70 ball frame (body, shadow, name, price, change), %d frames\n", frames);
    for (bool shapes : {false, true}) {
        benchRoot->gdiplusShapes = shapes;
        wnd.pm.RenderLayered();  // warm up: fonts, layout, text cache
        LARGE_INTEGER t0, t1, t2;
        ::QueryPerformanceCounter(&t0);
        for (int i = 0; i < frames; ++i)
            wnd.pm.RenderLayered();
        ::QueryPerformanceCounter(&t1);
        for (int i = 0; i < frames; ++i)
            ::RedrawWindow(wnd.GetHWND(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        ::QueryPerformanceCounter(&t2);
        const char* body = shapes ? "GDI+ antialiased shapes" : "toolkit fills";
        std::printf("  %-24s render into the DIB:               %8.1f us/frame\n", body,
                    Seconds(t0, t1) * 1e6 / frames);
        std::printf("  %-24s WM_PAINT with UpdateLayeredWindow: %8.1f us/frame\n", body,
                    Seconds(t1, t2) * 1e6 / frames);
    }
    return 0;
}
