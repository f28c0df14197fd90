// The render tool as a real process: exit codes and the PNG it writes.
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

const std::string kTool = KAVREL_BINARY_DIR "/tools/skinrender/skinrender";
const std::string kSkin = KAVREL_SOURCE_DIR "/skin/config.xml";

int RunTool(const std::string& args)
{
    int status = std::system((kTool + " " + args + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ToolOutput(const std::string& args)
{
    std::string text;
    FILE* pipe = popen((kTool + " " + args + " 2>/dev/null").c_str(), "r");
    if (!pipe) return text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) text += buf;
    pclose(pipe);
    return text;
}

class SkinRender : public testsupport::TempDirTest {
protected:
    std::string out(const char* name) { return (m_dir.path() / name).string(); }
};

TEST_F(SkinRender, WritesThePngInTheLayoutsSizeInBothSchemes)
{
    for (const char* scheme : {"", " --orange"}) {
        std::string png = out("notice.png");
        ASSERT_EQ(RunTool(kSkin + " login_sysnew " + png + scheme), 0);
        cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
        ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(s), 261);
        EXPECT_EQ(cairo_image_surface_get_height(s), 194);
        cairo_surface_destroy(s);
    }
    ASSERT_EQ(RunTool(kSkin + " MainFrame_Window " + out("main.png") + " --size 900x600 --show window_mask"
                  + " --set top_button.C=22 --style time_first=num7"),
              0);
    cairo_surface_t* s = cairo_image_surface_create_from_png(out("main.png").c_str());
    EXPECT_EQ(cairo_image_surface_get_width(s), 900);
    cairo_surface_destroy(s);
}

// Scripts click elements at the places this prints, so they must be the drawn places: the
// first tile stays put, a later one moves with the gap the client's resize handling sets.
TEST_F(SkinRender, WherePrintsTheLaidOutPlaceOfEachElement)
{
    EXPECT_EQ(ToolOutput(kSkin + " MainFrame_Window " + out("m.png") + " --where window_kaodian --where window_wenda"),
              "window_kaodian 24 152 113 100\nwindow_wenda 149 264 113 100\n");
    EXPECT_EQ(ToolOutput(kSkin + " MainFrame_Window " + out("m.png") + " --set mid_button.C=43 --where window_wenda"),
              "window_wenda 192 264 113 100\n");
    EXPECT_EQ(ToolOutput(kSkin + " MainFrame_Window " + out("m.png") + " --where no_such_element"), "");
    EXPECT_EQ(RunTool(kSkin + " MainFrame_Window " + out("m.png") + " --where no_such_element"), 1);
}

TEST_F(SkinRender, ExitCodes)
{
    struct Case {
        std::string args;
        int code;
    };
    std::string broken = m_dir.write("broken.xml", "<skin><layout").string();
    const Case cases[] = {
        {"", 2},
        {kSkin + " login_sysnew", 2},
        {kSkin + " login_sysnew " + out("a.png") + " --bogus", 2},
        {kSkin + " login_sysnew " + out("a.png") + " --set top_button.D=1", 2},
        {kSkin + " login_sysnew " + out("a.png") + " --where", 2},
        {kSkin + " no_such_layout " + out("a.png"), 1},
        {kSkin + " login_sysnew " + out("a.png") + " --show no_such_element", 1},
        {broken + " login_sysnew " + out("a.png"), 1},
        {kSkin + " login_sysnew /nonexistent/dir/a.png", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(RunTool(c.args), c.code) << c.args;
}

} // namespace
