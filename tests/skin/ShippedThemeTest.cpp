#include "platform/Win32.h"

#include "skin/ContainerBase.h"
#include "tests/skin/SkinTestWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace DuiLib;
using namespace VelUICore;

namespace {

// The ball registers the real class; here a plain label stands in so that the
// template's element resolves.
class PriceLabelStandIn : public CLabelUI {
public:
    static CControlUI* Create() { return new PriceLabelStandIn; }
};

std::wstring ShippedThemeFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.rfind(L'\\'));
    return folder + L"\\themes\\style_ball";
}

std::vector<std::wstring> Numbered(const wchar_t* prefix, int count)
{
    std::vector<std::wstring> names;
    for (int i = 1; i <= count; ++i)
        names.push_back(prefix + std::to_wstring(i));
    return names;
}

struct Window {
    const wchar_t* templateName;
    int cx, cy;
    RECT area;  // where the named controls must lie, in window coordinates
    std::vector<std::wstring> names;
};

std::vector<Window> ShippedWindows()
{
    std::vector<Window> windows = {
        {L"template_ball", 198, 70, {8, 8, 190, 62},
         {L"lblName", L"lblPrice", L"lblChange", L"lblPushLine1", L"lblPushLine2"}},
        {L"template_abnormal", 198, 70, {8, 8, 190, 62},
         {L"lblAbEmpty", L"lblAbName", L"lblAbPrice", L"lblAbZDF", L"lblAbDisplay", L"lblAbType"}},
        {L"template_setting", 172, 126, {28, 28, 144, 98}, {L"btnOpenPc", L"btnCloseBall"}},
        {L"template_detail", 592, 640, {48, 48, 544, 592},
         {L"lblPageTitle", L"lblOnline", L"pageSelf", L"pageLive", L"pageCase", L"btnClose", L"btnTabSelf",
          L"btnTabLive", L"btnTabCase", L"btnViewAll", L"btnMyLiveBook"}},
    };
    Window& detail = windows.back();
    for (const auto& group : {std::make_pair(L"lblSelfName", 5), {L"lblSelfTime", 5}, {L"lblSelfTag", 5},
                              {L"lblSelfVal", 5}, {L"lblDay", 7}, {L"lblDate", 7}, {L"btnDate", 7},
                              {L"lblLiveTitle", 4}, {L"lblLiveTag", 4}, {L"lblLiveStatus", 4}, {L"lblTime", 4},
                              {L"btnLive", 4}, {L"lblTag", 4}, {L"lblNum", 4}, {L"lblName", 4}, {L"lblDesc", 4}})
        for (const std::wstring& name : Numbered(group.first, group.second))
            detail.names.push_back(name);
    return windows;
}

TEST(ShippedTheme, EveryTemplateHasTheControlsItsWindowLooksUpInsideItsBody)
{
    CControlFactory::GetInstance()->RegistControl(L"CBallPriceLabelUI", &PriceLabelStandIn::Create);
    for (const Window& w : ShippedWindows()) {
        SkinTestWindow wnd;
        ASSERT_TRUE(wnd.Open(w.cx, w.cy));
        ASSERT_TRUE(wnd.skin.Load(ShippedThemeFolder()));
        ASSERT_TRUE(wnd.workspace.Initialize(&wnd.skin));
        auto container = std::make_unique<CContainerBase>();
        ASSERT_TRUE(wnd.workspace.LoadContainer(container.get(), w.templateName)) << w.templateName;
        CControlUI* root = container.release()->GetRoot();
        // Pages and optional parts start hidden; show everything to check the layout.
        for (const std::wstring& name : w.names)
            if (CControlUI* control = root->FindSubControl(name))
                for (CControlUI* p = control; p; p = p->GetParent())
                    p->SetVisible(true);
        wnd.pm.EnsureLayout();

        for (const std::wstring& name : w.names) {
            CControlUI* control = root->FindSubControl(name);
            ASSERT_NE(control, nullptr) << w.templateName << ": " << std::string(name.begin(), name.end());
            const RECT& rc = control->GetPos();
            RECT inside = {};
            ::IntersectRect(&inside, &rc, &w.area);
            EXPECT_TRUE(rc.right > rc.left && rc.bottom > rc.top && ::EqualRect(&inside, &rc))
                << w.templateName << ": " << std::string(name.begin(), name.end()) << " at " << rc.left << ","
                << rc.top << "," << rc.right << "," << rc.bottom;
        }
    }
    // The second message line of the ball uses font 9.
    SkinTestWindow wnd;
    ASSERT_TRUE(wnd.Open(198, 70));
    ASSERT_TRUE(wnd.skin.Load(ShippedThemeFolder()));
    ASSERT_TRUE(wnd.workspace.Initialize(&wnd.skin));
    EXPECT_EQ(wnd.pm.GetFontInfo(9)->sFaceName, L"Microsoft YaHei");
}

}  // namespace
