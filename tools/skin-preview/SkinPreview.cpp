// Renders one skin template off screen through the real paint manager and
// workspace and writes the layered bitmap as a PNG, so that layouts can be
// looked at and checked without a desktop.
//
//   skin-preview --theme DIR --template NAME --size WxH --out FILE.png
//                [--dpi PERCENT] [--bk #AARRGGBB] [--body L,T,R,B,#AARRGGBB]...
//                [--set NAME=TEXT]... [--color NAME=#AARRGGBB]... [--show NAME]... [--hide NAME]...
//
// --body paints a plain rectangle under the template where the window's own
// root control would paint its body.
#include "platform/Win32.h"

#include "duilib/UIGdiplus.h"
#include "duilib/UIlib.h"
#include "skin/ContainerBase.h"
#include "skin/Workspace.h"

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

using namespace DuiLib;
using namespace VelUICore;

namespace {

struct Body {
    RECT rc;
    DWORD color;
};

// Stands in for the windows' painted root controls: flat rectangles.
class PreviewRootUI : public CContainerUI {
public:
    std::vector<Body> bodies;
    void PaintBkColor(HDC hDC) override
    {
        CContainerUI::PaintBkColor(hDC);
        for (const Body& b : bodies)
            CRenderEngine::DrawColor(hDC, b.rc, b.color);
    }
};

// The ball registers the real price label when it starts; the preview shows its text only.
class PriceLabelStandIn : public CLabelUI {
public:
    static CControlUI* Create() { return new PriceLabelStandIn; }
};

class PreviewWnd : public CWindowWnd {
public:
    LPCWSTR GetWindowClassName() const override { return L"VelTraySkinPreviewWnd"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (uMsg == WM_CREATE) {
            pm.Init(m_hWnd);
            root = new PreviewRootUI;
            pm.AttachDialog(root);
            pm.SetLayered(true);
            workspace.Bind(m_hWnd, &pm);
            return 0;
        }
        return HandleWithManager(pm, uMsg, wParam, lParam);
    }
    CPaintManagerUI pm;
    SkinFolder skin;
    CMainWorkspace workspace;
    PreviewRootUI* root = nullptr;
};

bool PngEncoder(CLSID& clsid)
{
    UINT count = 0, bytes = 0;
    Gdiplus::GetImageEncodersSize(&count, &bytes);
    if (bytes == 0)
        return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, bytes, codecs);
    for (UINT i = 0; i < count; ++i)
        if (std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

int Fail(const wchar_t* what)
{
    std::fwprintf(stderr, L"skin-preview: %ls\n", what);
    return 1;
}

std::pair<std::wstring, std::wstring> SplitPair(const std::wstring& arg)
{
    const size_t eq = arg.find(L'=');
    if (eq == std::wstring::npos)
        return {arg, L""};
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring theme, templateName, out;
    int cx = 0, cy = 0, dpi = 100;
    DWORD bk = 0;
    std::vector<Body> bodies;
    std::vector<std::pair<std::wstring, std::wstring>> texts, colors;
    std::vector<std::wstring> shows, hides;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring key = argv[i];
        const std::wstring value = argv[i + 1];
        if (key == L"--theme")
            theme = value;
        else if (key == L"--template")
            templateName = value;
        else if (key == L"--out")
            out = value;
        else if (key == L"--size")
            std::swscanf(value.c_str(), L"%dx%d", &cx, &cy);
        else if (key == L"--dpi")
            dpi = ParseInt(value, 100);
        else if (key == L"--bk")
            bk = ParseColor(value);
        else if (key == L"--body") {
            const size_t hash = value.find(L'#');
            if (hash != std::wstring::npos)
                bodies.push_back({ParseRect(value.substr(0, hash)), ParseColor(value.substr(hash))});
        } else if (key == L"--set")
            texts.push_back(SplitPair(value));
        else if (key == L"--color")
            colors.push_back(SplitPair(value));
        else if (key == L"--show")
            shows.push_back(value);
        else if (key == L"--hide")
            hides.push_back(value);
        else
            return Fail((L"unknown option " + key).c_str());
    }
    if (theme.empty() || templateName.empty() || out.empty() || cx <= 0 || cy <= 0)
        return Fail(L"usage: --theme DIR --template NAME --size WxH --out FILE.png [options]");

    {
        std::unique_ptr<CControlUI> probe(CControlFactory::GetInstance()->CreateControl(L"CBallPriceLabelUI"));
        if (!probe)
            CControlFactory::GetInstance()->RegistControl(L"CBallPriceLabelUI", &PriceLabelStandIn::Create);
    }

    PreviewWnd wnd;
    // Never shown: the window only gives the workspace and the paint manager a home.
    if (!wnd.Create(nullptr, L"skin preview", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW, 0, 0, cx, cy))
        return Fail(L"cannot create the window");
    wnd.pm.SetDPIScale(dpi);
    wnd.root->SetBkColor(bk);
    wnd.root->bodies = bodies;
    if (!wnd.skin.Load(theme))
        return Fail(L"cannot load the theme folder");
    if (!wnd.workspace.Initialize(&wnd.skin))
        return Fail(L"cannot apply style_global.xml");
    auto container = std::make_unique<CContainerBase>();
    if (!wnd.workspace.LoadContainer(container.get(), templateName))
        return Fail(L"cannot load the template");
    CControlUI* root = container.release()->GetRoot();

    auto find = [root](const std::wstring& name) {
        CControlUI* control = root->FindSubControl(name);
        if (!control)
            std::fwprintf(stderr, L"skin-preview: no control named %ls\n", name.c_str());
        return control;
    };
    for (const auto& t : texts)
        if (CControlUI* c = find(t.first))
            c->SetText(t.second);
    for (const auto& t : colors)
        if (auto* label = dynamic_cast<CLabelUI*>(find(t.first)))
            label->SetTextColor(ParseColor(t.second));
    for (const auto& name : shows)
        if (CControlUI* c = find(name))
            c->SetVisible(true);
    for (const auto& name : hides)
        if (CControlUI* c = find(name))
            c->SetVisible(false);

    const DWORD* bits = wnd.pm.RenderLayered();
    if (!bits)
        return Fail(L"nothing rendered");
    const SIZE size = wnd.pm.GetClientSize();
    Gdiplus::Bitmap bitmap(size.cx, size.cy, size.cx * 4, PixelFormat32bppPARGB,
                           const_cast<BYTE*>(reinterpret_cast<const BYTE*>(bits)));
    CLSID png = {};
    if (!PngEncoder(png) || bitmap.Save(out.c_str(), &png, nullptr) != Gdiplus::Ok)
        return Fail(L"cannot write the PNG");
    std::fwprintf(stdout, L"skin-preview: %ls %dx%d -> %ls\n", templateName.c_str(), static_cast<int>(size.cx),
                  static_cast<int>(size.cy), out.c_str());
    return 0;
}
