// Loading skin descriptions: a broken or invalid description gives a clear error and an
// empty skin, never a crash; the resource table behaves as the client relies on.
#include "dulib/dulib.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <fstream>
#include <string>

namespace {

struct BrokenCase {
    const char* name;
    const char* xml;
    const char* errorPart;
};

const BrokenCase kBroken[] = {
    {"EmptyFile", "", "broken XML"},
    {"UnclosedElement", "<skin><layout name=\"a\" width=\"10\" height=\"10\">", "broken XML"},
    {"WrongRoot", "<theme/>", "root element is not <skin>"},
    {"EntryWithoutName", "<skin><paint fill=\"#ffffff\"/></skin>", "<paint> without a name (line 1)"},
    {"BadColour", "<skin><paint name=\"p\" fill=\"#12345\"/></skin>", "paint attribute fill=\"#12345\" is invalid"},
    {"UnknownPaintBase", "<skin><paint name=\"p\" base=\"q\"/></skin>", "unknown paint \"q\""},
    {"PaintCycle", "<skin><paint name=\"p\" base=\"q\"/><paint name=\"q\" base=\"p\"/></skin>", "inherits from itself"},
    {"LayoutWithoutSize", "<skin><layout name=\"a\"/></skin>", "layout \"a\" needs a positive width and height"},
    {"UnknownElementType", "<skin><layout name=\"a\" width=\"9\" height=\"9\">\n<slider name=\"s\"/></layout></skin>",
     "unknown element type <slider> (line 2)"},
    {"GeometryNotANumber", "<skin><layout name=\"a\" width=\"9\" height=\"9\"><button name=\"b\" left=\"x1\"/></layout></skin>",
     "attribute left of \"b\" is not a number"},
    {"DuplicateLayout", "<skin><layout name=\"a\" width=\"9\" height=\"9\"/><layout name=\"a\" width=\"9\" height=\"9\"/></skin>",
     "layout \"a\" defined twice"},
    {"ImageWithoutFile", "<skin><image name=\"i\"/></skin>", "image \"i\" without a file"},
    {"AccroleOnAnElement",
     "<skin><layout name=\"a\" width=\"9\" height=\"9\"><text name=\"t\" accrole=\"notification\"/></layout></skin>",
     "accrole=\"notification\" is unknown on <text>"},
    {"UnknownAccrole", "<skin><layout name=\"a\" width=\"9\" height=\"9\" accrole=\"alert\"/></skin>",
     "accrole=\"alert\" is unknown on <layout>"},
};

class BrokenDescription : public testsupport::TempDirTest, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenDescription, GivesAClearErrorAndNoLayouts)
{
    std::string path = (m_dir.path() / "config.xml").string();
    std::ofstream(path) << GetParam().xml;
    SkinManager* skin = LoadStyleA(path.c_str());
    ASSERT_NE(skin, nullptr);
    EXPECT_NE(skin->GetError().find(GetParam().errorPart), std::string::npos) << skin->GetError();
    EXPECT_EQ(skin->GetError().rfind(path, 0), 0u) << "the error names the file: " << skin->GetError();
    EXPECT_EQ(skin->GetResources()->Find("anything", RES_STYLE), nullptr);
    dulib::FreeSkin(skin);
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenDescription, ::testing::ValuesIn(kBroken),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SkinLoad, MissingFileIsAnErrorNotACrash)
{
    SkinManager* skin = LoadStyleA("/nonexistent/skin/config.xml");
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->GetError(), "cannot read /nonexistent/skin/config.xml");
    dulib::FreeSkin(skin);
    SkinManager* none = LoadStyleA(nullptr);
    EXPECT_FALSE(none->GetError().empty());
    dulib::FreeSkin(none);
}

TEST(SkinLoad, DeeplyNestedDescriptionIsAnErrorNotAStackOverflow)
{
    testsupport::TempDir dir;
    std::string xml = "<skin><layout name=\"a\" width=\"9\" height=\"9\">";
    for (int i = 0; i < 5000; ++i) xml += "<panel>";
    for (int i = 0; i < 5000; ++i) xml += "</panel>";
    xml += "</layout></skin>";
    SkinManager* skin = LoadStyleA(dir.write("config.xml", xml).string().c_str());
    EXPECT_NE(skin->GetError().find("broken XML"), std::string::npos) << skin->GetError();
    dulib::FreeSkin(skin);
}

class ResourceTableTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        std::ofstream(m_dir.path() / "config.xml")
            << "<skin><style name=\"group\" items=\"a,b_Orange\"/><image name=\"pic\" file=\"pic.png\"/></skin>";
        m_skin = LoadStyleA((m_dir.path() / "config.xml").string().c_str());
        ASSERT_EQ(m_skin->GetError(), "");
        m_table = m_skin->GetResources();
    }
    void TearDown() override { dulib::FreeSkin(m_skin); }

    std::string WritePng(const char* name, int w, int h)
    {
        std::string path = (m_dir.path() / name).string();
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_surface_write_to_png(s, path.c_str());
        cairo_surface_destroy(s);
        return path;
    }

    SkinManager* m_skin = nullptr;
    ResourceTable* m_table = nullptr;
};

TEST_F(ResourceTableTest, StyleItemsReadAndRewrite)
{
    Resource* style = m_table->Find("group", RES_STYLE);
    ASSERT_NE(style, nullptr);
    ASSERT_EQ(style->Count(), 2);
    EXPECT_EQ(style->Item(0)->GetValue(), "a");
    EXPECT_EQ(style->Item(1)->GetValue(), "b_Orange");
    style->Item(1)->SetValue("b");
    EXPECT_EQ(m_table->Find("group", RES_STYLE)->Item(1)->GetValue(), "b");
    EXPECT_EQ(style->Item(2), nullptr);
    EXPECT_EQ(style->Item(-1), nullptr);
    EXPECT_EQ(m_table->Find("group", RES_IMAGE), nullptr) << "kinds are separate";
    EXPECT_FALSE(style->LoadFile("x.png"));
}

TEST_F(ResourceTableTest, PictureIsReplacedThroughRemoveCreateAdd)
{
    // The member picture did not exist when the skin was loaded: an empty image.
    ASSERT_NE(m_table->Find("pic", RES_IMAGE), nullptr);
    EXPECT_TRUE(m_table->Remove("pic", RES_IMAGE));
    EXPECT_FALSE(m_table->Remove("pic", RES_IMAGE));
    EXPECT_EQ(m_table->Find("pic", RES_IMAGE), nullptr);

    Resource* res = m_table->Create("pic", RES_IMAGE);
    ASSERT_NE(res, nullptr);
    EXPECT_EQ(m_table->Find("pic", RES_IMAGE), nullptr) << "created, not yet added";
    std::string png = WritePng("pic.png", 4, 3);
    // The client composes the path with a Windows separator before the file name.
    std::string windowsStyle = png.substr(0, png.rfind('/')) + "\\pic.png";
    EXPECT_TRUE(res->LoadFile(windowsStyle.c_str()));
    EXPECT_TRUE(m_table->Add(res));
    EXPECT_EQ(m_table->Find("pic", RES_IMAGE), res);
    EXPECT_FALSE(m_table->Add(res)) << "already in the table";
}

TEST_F(ResourceTableTest, AddReplacesSameNameAndRejectsStrangers)
{
    Resource* first = m_table->Create("extra", RES_STYLE);
    Resource* second = m_table->Create("extra", RES_STYLE);
    EXPECT_TRUE(m_table->Add(first));
    EXPECT_TRUE(m_table->Add(second));
    EXPECT_EQ(m_table->Find("extra", RES_STYLE), second);
    EXPECT_FALSE(m_table->Add(nullptr));
    EXPECT_EQ(m_table->Create("x", 3), nullptr) << "unknown kind";
    Resource* image = m_table->Create("broken", RES_IMAGE);
    std::string notPng = (m_dir.path() / "config.xml").string();
    EXPECT_FALSE(image->LoadFile(notPng.c_str()));
    EXPECT_FALSE(image->LoadFile("/nonexistent.png"));
}

struct MatchCase {
    const char* pattern;
    const char* name;
    int expected;
};

TEST(MatchString, Table)
{
    const MatchCase cases[] = {
        {"window_sysmin", "window_sysmin", 1},
        {"window_sysmin", "window_sysmin2", 0},
        {"window_sysmin", "window_sysmi", 0},
        {"window_color_image_*", "window_color_image_blue", 1},
        {"window_color_image_*", "window_color_image_", 1},
        {"window_color_image_*", "window_color_imag", 0},
        {"window_*", "Window_x", 0},
        {"*", "", 1},
        {"*", "anything", 1},
        {"", "", 1},
        {"", "a", 0},
        {"a*b", "axb", 0}, // only a final "*" is a wildcard
        {"a*b", "a*b", 1},
        {nullptr, "a", 0},
        {"a", nullptr, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchString(c.pattern, c.name), c.expected)
            << (c.pattern ? c.pattern : "(null)") << " vs " << (c.name ? c.name : "(null)");
    }
}

} // namespace
