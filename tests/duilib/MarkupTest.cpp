#include "platform/Win32.h"

#include "duilib/UIlib.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

class TrendLabelUI : public CLabelUI {
public:
    CDuiString GetClass() const override { return L"TrendLabelUI"; }
    static CControlUI* Create() { return new TrendLabelUI; }
};

TEST(Markup, NodesExposeNamesAndAttributesInDocumentOrder)
{
    CMarkup markup;
    ASSERT_TRUE(markup.Load(L"<?xml version=\"1.0\"?><Root a=\"1\" B=\"二\"><!-- c --><Child/>text<Other/></Root>"));
    CMarkupNode root = markup.GetRoot();
    EXPECT_EQ(root.GetName(), L"Root");
    ASSERT_EQ(root.GetAttributeCount(), 2);
    EXPECT_EQ(root.GetAttributeName(1), L"B");
    EXPECT_EQ(root.GetAttributeValue(1), L"二");
    EXPECT_EQ(root.GetAttributeValue(L"b"), L"二");
    CMarkupNode child = root.GetChild();
    EXPECT_EQ(child.GetName(), L"Child");
    EXPECT_EQ(child.GetSibling().GetName(), L"Other");
    EXPECT_FALSE(child.GetSibling().GetSibling().IsValid());

    for (const wchar_t* bad : {L"", L"<unclosed>", L"just text"})
        EXPECT_FALSE(markup.Load(bad)) << bad;
    EXPECT_FALSE(markup.GetRoot().IsValid());
}

TEST(ControlFactory, CreatesByClassNameOrNone)
{
    CControlFactory* factory = CControlFactory::GetInstance();
    ASSERT_EQ(factory, CControlFactory::GetInstance());
    std::unique_ptr<CControlUI> label(factory->CreateControl(L"CLabelUI"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetClass(), L"LabelUI");
    EXPECT_EQ(factory->CreateControl(L"CNoSuchThingUI"), nullptr);
    EXPECT_EQ(factory->CreateControl(L"clabelui"), nullptr);  // class names are exact

    factory->RegistControl(L"CTrendLabelUI", &TrendLabelUI::Create);
    std::unique_ptr<CControlUI> custom(factory->CreateControl(L"CTrendLabelUI"));
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->GetClass(), L"TrendLabelUI");
    EXPECT_NE(custom->GetInterface(L"Label"), nullptr);
    EXPECT_EQ(custom->GetInterface(L"Container"), nullptr);
}

TEST(DialogBuilder, BuildsChildrenIntoAParentSkippingUnknownClasses)
{
    CPaintManagerUI pm;
    pm.SetInitSize(198, 70);
    auto* root = new CContainerUI;
    pm.AttachDialog(root);
    pm.AddDefaultAttributeList(L"Label", L"textcolor=\"#FF666666\" font=\"1\"");
    pm.AddStyle(L"big", L"font=\"5\" height=\"30\"");

    const wchar_t* xml =
        L"<HorizontalLayout name=\"ignored root\">"
        L"  <Mystery name=\"m\"><Label name=\"lost\"/></Mystery>"
        L"  <VerticalLayout name=\"col\">"
        L"    <Label name=\"lblName\" font=\"2\"/>"
        L"    <Label name=\"lblBig\" style=\"big\"/>"
        L"    <Button name=\"btnClose\" text=\"关闭\"/>"
        L"  </VerticalLayout>"
        L"</HorizontalLayout>";
    ASSERT_EQ(CDialogBuilder::Create(xml, nullptr, &pm, root), root);

    ASSERT_EQ(root->GetCount(), 1);  // the unknown element and its children are left out
    EXPECT_EQ(root->FindSubControl(L"lost"), nullptr);
    EXPECT_EQ(root->FindSubControl(L"ignored root"), nullptr);
    auto* name = static_cast<CLabelUI*>(root->FindSubControl(L"lblName"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->GetTextColor(), 0xFF666666u);  // from the class defaults
    EXPECT_EQ(name->GetFont(), 2);                 // the element's own attribute wins
    auto* big = static_cast<CLabelUI*>(root->FindSubControl(L"lblBig"));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->GetFont(), 5);
    EXPECT_EQ(big->GetFixedHeight(), 30);
    CControlUI* close = root->FindSubControl(L"btnClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->GetText(), L"关闭");
    EXPECT_EQ(close->GetManager(), &pm);
    EXPECT_EQ(close->GetParent(), root->FindSubControl(L"col"));

    CLabelUI notContainer;
    EXPECT_EQ(CDialogBuilder::Create(xml, nullptr, &pm, &notContainer), nullptr);
    EXPECT_EQ(CDialogBuilder::Create(L"<broken", nullptr, &pm, root), nullptr);
}

}  // namespace
