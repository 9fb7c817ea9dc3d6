#include "platform/Win32.h"

#include "duilib/UIlib.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

// Records its own destruction, to see who owns it.
class ProbeUI : public CControlUI {
public:
    explicit ProbeUI(bool* destroyed) : m_destroyed(destroyed) {}
    ~ProbeUI() override { *m_destroyed = true; }

private:
    bool* m_destroyed;
};

class ControlTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        pm.SetInitSize(200, 100);
        root = new CVerticalLayoutUI;
        pm.AttachDialog(root);
    }
    // Lays out and paints, leaving nothing waiting for a repaint.
    void Paint() { ASSERT_NE(pm.RenderLayered(), nullptr); }
    static bool IsEmpty(const RECT& rc) { return rc.right <= rc.left || rc.bottom <= rc.top; }

    CPaintManagerUI pm;
    CVerticalLayoutUI* root = nullptr;
};

TEST_F(ControlTree, FindsByNameIgnoringCaseIncludingHiddenControls)
{
    auto* panel = new CContainerUI;
    panel->SetName(L"panel");
    auto* label = new CLabelUI;
    label->SetName(L"lblPrice");
    panel->Add(label);
    root->Add(panel);
    panel->SetVisible(false);
    label->SetVisible(false);

    EXPECT_EQ(root->FindSubControl(L"LBLPRICE"), label);
    EXPECT_EQ(pm.FindControl(L"lblprice"), label);
    EXPECT_EQ(root->FindSubControl(L"panel"), panel);
    EXPECT_EQ(root->FindSubControl(L"missing"), nullptr);
    EXPECT_EQ(root->FindSubControl(L""), nullptr);  // unnamed controls never match
}

TEST_F(ControlTree, DescendantsAreSearchedBeforeTheControlItself)
{
    auto* outer = new CContainerUI;
    outer->SetName(L"same");
    auto* inner = new CLabelUI;
    inner->SetName(L"Same");
    outer->Add(inner);
    root->Add(outer);
    EXPECT_EQ(outer->FindSubControl(L"same"), inner);
}

TEST_F(ControlTree, EqualTextInvalidatesOnlyOnce)
{
    auto* label = new CLabelUI;
    root->Add(label);
    Paint();

    label->SetText(L"3021.55");
    EXPECT_FALSE(IsEmpty(pm.GetDirtyRect()));
    Paint();
    label->SetText(L"3021.55");
    EXPECT_TRUE(IsEmpty(pm.GetDirtyRect()));
}

TEST_F(ControlTree, TextAndTooltipLineBreakSequences)
{
    CLabelUI label;
    label.SetText(L"a{\\n}b");
    EXPECT_EQ(label.GetText(), L"a\nb");
    label.SetToolTip(L"one<n>two");
    EXPECT_EQ(label.GetToolTip(), L"one\r\ntwo");
}

TEST_F(ControlTree, InvalidateIsClippedByAncestorsAndSkippedWhenHidden)
{
    auto* frame = new CContainerUI;
    frame->SetFixedHeight(40);
    auto* label = new CLabelUI;
    label->SetFloat(true);
    label->SetFloatPos(RECT{150, 20, 300, 60});  // reaches beyond the frame
    frame->Add(label);
    root->Add(frame);
    Paint();

    label->Invalidate();
    const RECT dirty = pm.GetDirtyRect();
    EXPECT_EQ(dirty.left, 150);
    EXPECT_EQ(dirty.top, 20);
    EXPECT_EQ(dirty.right, 200);
    EXPECT_EQ(dirty.bottom, 40);

    Paint();
    frame->SetVisible(false);
    Paint();
    label->Invalidate();
    EXPECT_TRUE(IsEmpty(pm.GetDirtyRect()));
    label->SetText(L"changed while hidden");
    EXPECT_TRUE(IsEmpty(pm.GetDirtyRect()));
}

TEST_F(ControlTree, HidingTheFocusedControlOrItsAncestorTakesTheFocus)
{
    auto* box = new CContainerUI;
    auto* button = new CButtonUI;
    box->Add(button);
    root->Add(box);

    button->SetFocus();
    ASSERT_EQ(pm.GetFocus(), button);
    box->SetVisible(false);
    EXPECT_EQ(pm.GetFocus(), nullptr);

    box->SetVisible(true);
    button->SetFocus();
    button->SetVisible(false);
    EXPECT_EQ(pm.GetFocus(), nullptr);
}

TEST_F(ControlTree, AttributeListUsesMarkupSyntax)
{
    CLabelUI label;
    label.ApplyAttributeList(L"name=\"lblName\" textcolor=\"#FF112233\"  font='9' unknown=\"x\" width=\"64\"");
    EXPECT_EQ(label.GetName(), L"lblName");
    EXPECT_EQ(label.GetTextColor(), 0xFF112233u);
    EXPECT_EQ(label.GetFont(), 9);
    EXPECT_EQ(label.GetFixedWidth(), 64);

    // A malformed tail stops the parse; what came before stays applied.
    CLabelUI broken;
    broken.ApplyAttributeList(L"name=\"ok\" text=unquoted height=\"9\"");
    EXPECT_EQ(broken.GetName(), L"ok");
    EXPECT_EQ(broken.GetFixedHeight(), 0);
}

TEST_F(ControlTree, ColourValues)
{
    const struct {
        const wchar_t* text;
        DWORD expected;
    } cases[] = {
        {L"#FF2EAF55", 0xFF2EAF55},
        {L"#00000000", 0x00000000},
        {L"#2EAF55", 0xFF2EAF55},  // six digits are opaque
        {L"0x80FFFFFF", 0x80FFFFFF},
        {L"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseColor(c.text), c.expected) << c.text;
}

TEST_F(ControlTree, RemoveDeletesOnlyWithAutoDestroy)
{
    bool deleted = false;
    auto* probe = new ProbeUI(&deleted);
    root->Add(probe);
    root->SetAutoDestroy(false);
    ASSERT_TRUE(root->Remove(probe));
    EXPECT_FALSE(deleted);
    EXPECT_EQ(probe->GetParent(), nullptr);
    EXPECT_EQ(root->GetCount(), 0);

    root->SetAutoDestroy(true);
    root->Add(probe);
    ASSERT_TRUE(root->Remove(probe));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(root->Remove(probe));
}

TEST_F(ControlTree, ScrollBarsAreRecreatedWithTheCurrentDefaults)
{
    pm.AddDefaultAttributeList(L"VScrollBar", L"width=\"6\" thumbcolor=\"#FF111111\"");
    root->EnableScrollBar(true, false);
    ASSERT_NE(root->GetVerticalScrollBar(), nullptr);
    EXPECT_EQ(root->GetHorizontalScrollBar(), nullptr);
    EXPECT_EQ(root->GetVerticalScrollBar()->GetThickness(), 6);

    pm.AddDefaultAttributeList(L"VScrollBar", L"width=\"10\" thumbcolor=\"#FF222222\"");
    root->EnableScrollBar(true, false);  // an existing bar is kept as it is
    EXPECT_EQ(root->GetVerticalScrollBar()->GetThickness(), 6);
    root->EnableScrollBar(false, false);
    EXPECT_EQ(root->GetVerticalScrollBar(), nullptr);
    root->EnableScrollBar(true, false);
    EXPECT_EQ(root->GetVerticalScrollBar()->GetThickness(), 10);
    EXPECT_EQ(root->GetVerticalScrollBar()->GetThumbColor(), 0xFF222222u);
}

TEST_F(ControlTree, VerticalLayoutScrollsOverflowingContentWithTheWheel)
{
    root->EnableScrollBar(true, false);
    for (int i = 0; i < 5; ++i) {
        auto* row = new CLabelUI;
        row->SetFixedHeight(40);
        root->Add(row);
    }
    Paint();
    EXPECT_EQ(root->GetScrollRange().cy, 100);
    TEventUI wheel;
    wheel.Type = UIEVENT_SCROLLWHEEL;
    wheel.wParam = MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA));
    root->GetItemAt(0)->DoEvent(wheel);  // the label hands it up to the container
    EXPECT_GT(root->GetScrollPos().cy, 0);
    EXPECT_EQ(root->GetItemAt(0)->GetPos().top, -root->GetScrollPos().cy);
}

TEST_F(ControlTree, LinearLayoutsShareWhatFixedItemsLeave)
{
    root->SetInset(RECT{8, 8, 8, 8});
    root->SetChildPadding(4);
    auto* top = new CControlUI;
    top->SetFixedHeight(20);
    auto* row = new CHorizontalLayoutUI;
    auto* left = new CControlUI;
    left->SetFixedWidth(30);
    auto* right = new CControlUI;
    right->SetPadding(RECT{2, 0, 0, 0});
    row->Add(left);
    row->Add(right);
    root->Add(top);
    root->Add(row);
    Paint();

    const RECT expected[] = {
        {8, 8, 192, 28},    // top: fixed height
        {8, 32, 192, 92},   // row: the rest after the child padding
        {8, 32, 38, 92},    // left: fixed width
        {40, 32, 192, 92},  // right: the rest after its padding
    };
    CControlUI* controls[] = {top, row, left, right};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(::EqualRect(&controls[i]->GetPos(), &expected[i])) << "control " << i;
}

}  // namespace
