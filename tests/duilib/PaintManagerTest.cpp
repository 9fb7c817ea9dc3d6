#include "platform/Win32.h"

#include "duilib/UIlib.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

class PaintManager : public ::testing::Test {
protected:
    void TearDown() override { CPaintManagerUI::ClearSharedTables(); }

    static LOGFONTW Describe(HFONT font)
    {
        LOGFONTW lf = {};
        ::GetObjectW(font, sizeof(lf), &lf);
        return lf;
    }
};

TEST_F(PaintManager, FontLookupGoesWindowThenSharedThenDefault)
{
    CPaintManagerUI pm;
    CPaintManagerUI other;
    HFONT shared = pm.AddFont(3, L"SimSun", 14, false, false, false, false, true);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(other.GetFont(3), shared);  // the shared table serves every window

    HFONT own = pm.AddFont(3, L"SimHei", 16, true, false, false, false);
    EXPECT_EQ(pm.GetFont(3), own);
    EXPECT_EQ(other.GetFont(3), shared);

    pm.SetDefaultFont(L"Microsoft YaHei", 13, false, false, false, false);
    EXPECT_TRUE(pm.RemoveFont(3));
    EXPECT_EQ(pm.GetFont(3), shared);
    EXPECT_TRUE(pm.RemoveFont(3, true));
    EXPECT_FALSE(pm.RemoveFont(3, true));
    EXPECT_EQ(Describe(pm.GetFont(3)).lfHeight, -13);  // the default font
    EXPECT_NE(other.GetFont(42), nullptr);              // a built-in default exists
}

TEST_F(PaintManager, FontSizesFollowTheDpiScaleAndFacesAreCut)
{
    CPaintManagerUI pm;
    EXPECT_EQ(pm.GetDPIScale(), 100);
    pm.AddFont(1, std::wstring(40, L'F'), 12, true, false, true, false);
    LOGFONTW lf = Describe(pm.GetFont(1));
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(std::wstring(lf.lfFaceName), std::wstring(31, L'F'));

    pm.SetDPIScale(150);
    EXPECT_EQ(Describe(pm.GetFont(1)).lfHeight, -18);
    pm.AddFont(2, L"SimSun", 14, false, false, false, false);
    EXPECT_EQ(Describe(pm.GetFont(2)).lfHeight, -21);
    EXPECT_EQ(pm.ScaleValue(14), 21);
}

TEST_F(PaintManager, StylesAndDefaultsLookWindowFirstThenShared)
{
    CPaintManagerUI pm;
    pm.AddStyle(L"title", L"font=\"1\"", true);
    pm.AddDefaultAttributeList(L"Label", L"font=\"2\"", true);
    EXPECT_EQ(pm.GetStyle(L"title"), L"font=\"1\"");
    pm.AddStyle(L"title", L"font=\"3\"");
    pm.AddDefaultAttributeList(L"Label", L"font=\"4\"");
    EXPECT_EQ(pm.GetStyle(L"title"), L"font=\"3\"");
    EXPECT_EQ(pm.GetDefaultAttributeList(L"label"), L"font=\"4\"");

    EXPECT_TRUE(pm.RemoveStyle(L"title"));
    EXPECT_TRUE(pm.RemoveDefaultAttributeList(L"Label"));
    EXPECT_EQ(pm.GetStyle(L"title"), L"font=\"1\"");
    EXPECT_EQ(pm.GetDefaultAttributeList(L"Label"), L"font=\"2\"");
    EXPECT_TRUE(pm.RemoveStyle(L"title", true));
    EXPECT_EQ(pm.GetStyle(L"title"), L"");
    EXPECT_FALSE(pm.RemoveDefaultAttributeList(L"Button", true));
}

TEST_F(PaintManager, MeasuresTextWithTheFontOfAnId)
{
    CPaintManagerUI pm;
    pm.AddFont(1, L"Microsoft YaHei", 12, false, false, false, false);
    pm.AddFont(2, L"Microsoft YaHei", 24, false, false, false, false);
    const SIZE small = pm.MeasureText(L"3021.55", 1);
    const SIZE large = pm.MeasureText(L"3021.55", 2);
    EXPECT_GT(small.cx, 0);
    EXPECT_GT(large.cx, small.cx * 3 / 2);
    EXPECT_GT(pm.MeasureText(L"3021.55 +0.12%", 1).cx, small.cx);
    EXPECT_EQ(pm.MeasureText(L"", 1).cx, 0);
}

}  // namespace
