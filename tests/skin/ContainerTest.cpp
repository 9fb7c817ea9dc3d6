#include "platform/Win32.h"

#include "skin/ContainerBase.h"
#include "skin/Workspace.h"
#include "tests/skin/SkinTestWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace DuiLib;
using namespace VelUICore;

namespace {

void WriteText(const std::wstring& path, const std::string& utf8)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
}

struct Report {
    int calls = 0;
    AsyncMessage last;
};

int32_t Record(AsyncMessage* message, void* user)
{
    auto* report = static_cast<Report*>(user);
    ++report->calls;
    report->last = *message;
    return 7;
}

class ProbeUI : public CControlUI {
public:
    explicit ProbeUI(int* deletions) : m_deletions(deletions) {}
    ~ProbeUI() override { ++*m_deletions; }

private:
    int* m_deletions;
};

class SkinLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::CreateDirectoryW(theme.Join(L"containers").c_str(), nullptr);
        WriteGlobal("<Global/>");
        WriteTemplate(L"plain", "<Container/>");
    }
    void TearDown() override { CPaintManagerUI::ClearSharedTables(); }
    void WriteGlobal(const std::string& text) { WriteText(theme.Join(L"style_global.xml"), text); }
    void WriteTemplate(const std::wstring& name, const std::string& text)
    {
        WriteText(theme.Join(L"containers\\" + name + L".xml"), text);
    }
    // Opens the window and applies the theme as it stands now.
    void OpenAndInitialize()
    {
        ASSERT_TRUE(wnd.Open(300, 200));
        ASSERT_TRUE(wnd.skin.Load(theme.Path()));
        ASSERT_TRUE(wnd.workspace.Initialize(&wnd.skin));
    }
    // Loads a template into a fresh container; the workspace owns it on success.
    CContainerBase* Load(const std::wstring& name)
    {
        auto container = std::make_unique<CContainerBase>();
        if (!wnd.workspace.LoadContainer(container.get(), name))
            return nullptr;
        return container.release();
    }

    TempDir theme;
    SkinTestWindow wnd;
};

TEST_F(SkinLayer, InitializeAppliesFontsStylesAndDefaults)
{
    WriteGlobal(
        "<Skin>"
        "<Font id=\"1\" name=\"SimSun\" size=\"14\"/>"
        "<Font name=\"NoId\" size=\"30\"/>"
        "<Font id=\"-3\" name=\"Negative\"/>"
        "<Font id=\"4\" size=\"30\"/>"
        "<FONT ID=\"5\" NAME=\"SimHei\"/>"
        "<Font id=\"6\" name=\"Microsoft YaHei\" size=\"20\" size=\"22\" default=\"TRUE\" bold=\"yes\"/>"
        "<Style name=\"s\" value=\"font=&quot;1&quot;\"/>"
        "<style name=\"s\" value=\"font=&quot;2&quot;\"/>"
        "<Default name=\"Label\" value=\"textcolor=&quot;#FF123456&quot;\"/>"
        "<Default value=\"nameless\"/>"
        "<Other name=\"x\" value=\"y\"/>"
        "</Skin>");
    OpenAndInitialize();
    CPaintManagerUI& pm = wnd.pm;

    EXPECT_EQ(wnd.workspace.SkinGeneration(), 1);
    EXPECT_EQ(pm.GetFontInfo(1)->iSize, 14);
    EXPECT_EQ(pm.GetFontInfo(5)->sFaceName, L"SimHei");
    EXPECT_EQ(pm.GetFontInfo(5)->iSize, 12);
    TFontInfo* font6 = pm.GetFontInfo(6);
    EXPECT_EQ(font6->iSize, 22);  // a later attribute of the same name wins
    EXPECT_FALSE(font6->bBold);   // only "true" is true
    // Ids without a usable font fall back to the default, which font 6 became.
    EXPECT_EQ(pm.GetFontInfo(4)->sFaceName, L"Microsoft YaHei");
    EXPECT_EQ(pm.GetFontInfo(-3)->iSize, 22);
    EXPECT_EQ(pm.GetStyle(L"s"), L"font=\"2\"");
    EXPECT_EQ(pm.GetDefaultAttributeList(L"Label"), L"textcolor=\"#FF123456\"");
    EXPECT_EQ(pm.GetStyle(L"x"), L"");
}

TEST_F(SkinLayer, InitializeAgainReplacesItsFontsAndBumpsTheGeneration)
{
    WriteGlobal("<G><Font id=\"1\" name=\"SimSun\" size=\"14\"/><Font id=\"2\" name=\"SimHei\" size=\"16\"/></G>");
    OpenAndInitialize();
    wnd.pm.AddFont(9, L"SimSun", 11, false, false, false, false);  // someone else's font
    HFONT first = wnd.pm.GetFont(1);

    WriteGlobal("<G><Font id=\"1\" name=\"SimSun\" size=\"15\"/></G>");
    ASSERT_TRUE(wnd.skin.Load(theme.Path()));
    ASSERT_TRUE(wnd.workspace.Initialize(&wnd.skin));
    EXPECT_EQ(wnd.workspace.SkinGeneration(), 2);
    EXPECT_NE(wnd.pm.GetFont(1), first);
    EXPECT_EQ(wnd.pm.GetFontInfo(1)->iSize, 15);
    EXPECT_EQ(wnd.pm.GetFontInfo(2)->iSize, 12);  // removed: the built-in default answers
    EXPECT_EQ(wnd.pm.GetFontInfo(9)->iSize, 11);

    SkinFolder unloaded;
    EXPECT_FALSE(wnd.workspace.Initialize(&unloaded));
    EXPECT_FALSE(wnd.workspace.Initialize(nullptr));
    EXPECT_EQ(wnd.workspace.SkinGeneration(), 2);

    CMainWorkspace unbound;
    EXPECT_FALSE(unbound.Initialize(&wnd.skin));
}

TEST_F(SkinLayer, RootElementsBecomeTheirClassOrAPlainContainer)
{
    WriteGlobal("<G><Default name=\"Mystery\" value=\"name=&quot;fromDefaults&quot; inset=&quot;1,1,1,1&quot;\"/></G>");
    WriteTemplate(L"row", "<HorizontalLayout name=\"row\"><Label name=\"lblA\"/></HorizontalLayout>");
    WriteTemplate(L"odd", "<Mystery name=\"mroot\" childpadding=\"3\"><Label name=\"lblB\"/><Label name=\"lblC\"/></Mystery>");
    WriteTemplate(L"leaf", "<Label name=\"leafRoot\"><Label name=\"lblD\"/></Label>");
    OpenAndInitialize();

    const struct {
        const wchar_t* templateName;
        const wchar_t* rootName;
        const wchar_t* rootClass;
        int children;
    } cases[] = {
        {L"row", L"row", L"HorizontalLayoutUI", 1},
        {L"odd", L"mroot", L"ContainerUI", 2},
        {L"leaf", L"leafRoot", L"ContainerUI", 1},
    };
    int32_t lastId = 0;
    for (const auto& c : cases) {
        CContainerBase* container = Load(c.templateName);
        ASSERT_NE(container, nullptr) << c.templateName;
        CControlUI* root = container->GetRoot();
        EXPECT_EQ(root->GetName(), c.rootName);
        EXPECT_EQ(root->GetClass(), c.rootClass);
        EXPECT_EQ(static_cast<CContainerUI*>(root)->GetCount(), c.children);
        EXPECT_EQ(root->GetParent(), wnd.root);
        EXPECT_EQ(root->GetTag(), static_cast<UINT_PTR>(container->GetContainerId()));
        EXPECT_GT(container->GetContainerId(), lastId);
        EXPECT_EQ(container->GetName(), c.templateName);
        EXPECT_EQ(container->GetWorkspaceId(), wnd.workspace.Id());
        lastId = container->GetContainerId();
    }
    // The class defaults came first, the element's own attributes after them.
    auto* odd = static_cast<CContainerUI*>(wnd.root->FindSubControl(L"mroot"));
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->GetInset().left, 1);
    EXPECT_EQ(odd->GetChildPadding(), 3);
    EXPECT_EQ(wnd.workspace.ContainerCount(), 3u);
}

TEST_F(SkinLayer, LoadContainerFailuresLeaveTheContainerUnloaded)
{
    CContainerBase container;
    EXPECT_FALSE(wnd.workspace.LoadContainer(&container, L"plain"));  // not bound, not initialised
    OpenAndInitialize();
    WriteTemplate(L"broken", "<Container><Label></Container>");
    ASSERT_TRUE(wnd.skin.Load(theme.Path()));

    for (const wchar_t* name : {L"", L"missing", L"PLAIN", L"broken"})
        EXPECT_FALSE(wnd.workspace.LoadContainer(&container, name)) << name;
    EXPECT_FALSE(container.IsLoaded());
    EXPECT_FALSE(wnd.workspace.LoadContainer(nullptr, L"plain"));

    CContainerBase* loaded = Load(L"plain");
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(wnd.workspace.LoadContainer(loaded, L"plain"));  // loaded once only
    EXPECT_EQ(wnd.root->GetCount(), 1);
}

class ClickContainer : public CContainerBase {
public:
    void Notify(TNotifyUI& msg) override { seen.push_back(msg.sType + L":" + msg.pSender->GetName()); }
    std::vector<std::wstring> seen;
};

TEST_F(SkinLayer, NotificationsGoToTheContainerOfTheNearestTaggedAncestor)
{
    WriteTemplate(L"menu", "<VerticalLayout><HorizontalLayout><Button name=\"btnOpenPc\"/></HorizontalLayout></VerticalLayout>");
    WriteTemplate(L"other", "<Container><Button name=\"btnOther\"/></Container>");
    OpenAndInitialize();
    Report report;
    wnd.workspace.SetCallback(&Record, &report);

    auto* menu = new ClickContainer;
    ASSERT_TRUE(wnd.workspace.LoadContainer(menu, L"menu"));
    CContainerBase* other = Load(L"other");
    ASSERT_NE(other, nullptr);

    wnd.pm.SendNotify(wnd.root->FindSubControl(L"btnOpenPc"), L"click");
    ASSERT_EQ(menu->seen.size(), 1u);
    EXPECT_EQ(menu->seen[0], L"click:btnOpenPc");
    EXPECT_EQ(report.calls, 0);

    // The default handler reports a record of request type 0 to the callback.
    wnd.pm.SendNotify(wnd.root->FindSubControl(L"btnOther"), L"click");
    ASSERT_EQ(report.calls, 1);
    EXPECT_EQ(report.last.receiverId, wnd.workspace.Id());
    EXPECT_EQ(report.last.context, other->GetContainerId());
    EXPECT_EQ(report.last.receiverTag, wnd.workspace.SkinGeneration());
    EXPECT_EQ(report.last.requestType, 0);
    EXPECT_EQ(report.last.payload, nullptr);

    // Outside every container (the window's root): dropped.
    wnd.pm.SendNotify(wnd.root, L"click");
    EXPECT_EQ(report.calls, 1);
    EXPECT_EQ(menu->seen.size(), 1u);
}

TEST_F(SkinLayer, ScrollBarsAreRecreatedWithTheNewDefaultsOnInitialize)
{
    WriteGlobal("<G><Default name=\"VScrollBar\" value=\"width=&quot;6&quot;\"/></G>");
    WriteTemplate(L"list", "<VerticalLayout name=\"list\" vscrollbar=\"true\"/>");
    OpenAndInitialize();
    ASSERT_NE(Load(L"list"), nullptr);
    auto* list = static_cast<CContainerUI*>(wnd.root->FindSubControl(L"list"));
    ASSERT_NE(list->GetVerticalScrollBar(), nullptr);
    EXPECT_EQ(list->GetVerticalScrollBar()->GetThickness(), 6);

    WriteGlobal("<G><Default name=\"VScrollBar\" value=\"width=&quot;9&quot;\"/></G>");
    ASSERT_TRUE(wnd.skin.Load(theme.Path()));
    ASSERT_TRUE(wnd.workspace.Initialize(&wnd.skin));
    ASSERT_NE(list->GetVerticalScrollBar(), nullptr);
    EXPECT_EQ(list->GetVerticalScrollBar()->GetThickness(), 9);
    EXPECT_EQ(list->GetHorizontalScrollBar(), nullptr);
}

TEST_F(SkinLayer, DetachAndDeleteDeletesOnceAndRestoresAutoDestroy)
{
    int deletions = 0;
    CContainerUI parent;
    auto* child = new ProbeUI(&deletions);
    parent.Add(child);
    DetachAndDelete(child);
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(parent.GetCount(), 0);
    EXPECT_TRUE(parent.IsAutoDestroy());

    DetachAndDelete(new ProbeUI(&deletions));  // no parent: just deleted
    EXPECT_EQ(deletions, 2);

    CLabelUI notContainer;
    ProbeUI stray(&deletions);
    stray.SetManager(nullptr, &notContainer, false);
    DetachAndDelete(&stray);  // left alone
    EXPECT_EQ(deletions, 2);
    DetachAndDelete(nullptr);
}

TEST_F(SkinLayer, AWorkspaceBeyondTheRegistryBindsToNothing)
{
    OpenAndInitialize();
    std::vector<std::unique_ptr<CMainWorkspace>> fill;
    while (fill.size() < 40) {
        fill.push_back(std::make_unique<CMainWorkspace>());
        if (fill.back()->Id() == 0)
            break;
    }
    CMainWorkspace& extra = *fill.back();
    ASSERT_EQ(extra.Id(), 0);
    CPaintManagerUI pm;
    extra.Bind(wnd.GetHWND(), &pm);
    EXPECT_EQ(extra.PaintManager(), nullptr);
    EXPECT_FALSE(extra.Initialize(&wnd.skin));
    CContainerBase container;
    EXPECT_FALSE(extra.LoadContainer(&container, L"plain"));
}

}  // namespace
