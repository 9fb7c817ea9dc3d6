#include "platform/Win32.h"

#include "skin/SkinFolder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using VelUICore::SkinFolder;

namespace {

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

const std::string kBom = "\xEF\xBB\xBF";
const std::string kGlobal = "<Global><Font id=\"1\" name=\"SimSun\"/></Global>";

class SkinFolderLoad : public ::testing::Test {
protected:
    void SetUp() override { ::CreateDirectoryW(dir.Join(L"containers").c_str(), nullptr); }
    void Write(const std::wstring& relative, const std::string& bytes) { WriteBytes(dir.Join(relative), bytes); }

    TempDir dir;
    SkinFolder skin;
};

TEST_F(SkinFolderLoad, TemplateNamesRunToTheLastDotAndAreCaseSensitive)
{
    Write(L"style_global.xml", kGlobal);
    Write(L"containers\\a.b.xml", "<A/>");
    Write(L"containers\\Panel.xml", "<P/>");
    Write(L"containers\\template_ball.xml", kBom + "<Container>球</Container>");
    Write(L"containers\\empty.xml", "");
    ::CreateDirectoryW(dir.Join(L"containers\\folder.xml").c_str(), nullptr);
    ASSERT_TRUE(skin.Load(dir.Path()));

    EXPECT_TRUE(skin.loaded);
    EXPECT_EQ(skin.GetContainerXml(L"a.b"), L"<A/>");
    EXPECT_EQ(skin.GetContainerXml(L"Panel"), L"<P/>");
    EXPECT_EQ(skin.GetContainerXml(L"panel"), L"");
    EXPECT_EQ(skin.GetContainerXml(L"template_ball"), L"<Container>球</Container>");
    EXPECT_EQ(skin.GetContainerXml(L"empty"), L"");   // unreadable files are skipped
    EXPECT_EQ(skin.GetContainerXml(L"folder"), L"");  // directories too
    EXPECT_EQ(skin.GetContainerXml(L""), L"");
    EXPECT_EQ(skin.templates.size(), 3u);
}

TEST_F(SkinFolderLoad, ByteOrderMarkOrNotGivesTheSameText)
{
    Write(L"containers\\t.xml", "<T/>");
    Write(L"style_global.xml", kBom + kGlobal);
    ASSERT_TRUE(skin.Load(dir.Path() + L"\\"));  // a trailing backslash is fine too
    const std::wstring withBom = skin.globalText;
    Write(L"style_global.xml", kGlobal);
    ASSERT_TRUE(skin.Load(dir.Path()));
    EXPECT_EQ(skin.globalText, withBom);
    EXPECT_EQ(skin.globalText.front(), L'<');
}

TEST_F(SkinFolderLoad, FailuresLeaveTheFolderUnloaded)
{
    Write(L"containers\\t.xml", "<T/>");
    EXPECT_FALSE(skin.Load(L""));
    EXPECT_FALSE(skin.Load(dir.Path()));  // no style_global.xml

    Write(L"style_global.xml", kBom);  // nothing after the mark
    EXPECT_FALSE(skin.Load(dir.Path()));

    Write(L"style_global.xml", kGlobal);
    ASSERT_TRUE(skin.Load(dir.Path()));
    ::DeleteFileW(dir.Join(L"containers\\t.xml").c_str());
    EXPECT_FALSE(skin.Load(dir.Path()));  // no template file at all
    EXPECT_FALSE(skin.loaded);
    EXPECT_FALSE(skin.globalText.empty());  // read before the enumeration failed
    EXPECT_TRUE(skin.templates.empty());
    EXPECT_EQ(skin.GetContainerXml(L"t"), L"");
}

}  // namespace
