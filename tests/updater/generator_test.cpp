#include "updater/Generator.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

using GeneratorTest = testsupport::TempDirTest;

TEST_F(GeneratorTest, WalksBreadthFirstAndSkipsDotNames)
{
    const std::string source = (m_dir.path() / "src").string();
    m_dir.write("src/top.txt", "1");
    m_dir.write("src/a/one.txt", "2");
    m_dir.write("src/a/deep/two.txt", "3");
    m_dir.write("src/b/three.txt", "4");
    m_dir.write("src/.svn/entries", "hidden");
    m_dir.write("src/a/.cache/x", "hidden");
    m_dir.write("src/.profile", "hidden");

    const std::vector<std::string> files = updater::walkFiles(source);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0], source + "/top.txt");
    // Level two in either listing order of a and b, then level three.
    EXPECT_TRUE((files[1] == source + "/a/one.txt" && files[2] == source + "/b/three.txt") ||
                (files[1] == source + "/b/three.txt" && files[2] == source + "/a/one.txt"));
    EXPECT_EQ(files[3], source + "/a/deep/two.txt");
}

TEST_F(GeneratorTest, PublishesFlatCopyAndManifest)
{
    const std::string source = (m_dir.path() / "src").string();
    const std::string output = (m_dir.path() / "pub").string();
    m_dir.write("src/data/config.ini", "abc");
    m_dir.write("src/.svn/x", "hidden");
    m_dir.write("pub/stale.bin", "removed with the old output folder");

    updater::generate(output, "vmupdate.xml", "3.0.0.26", source);

    EXPECT_EQ(m_dir.read("pub/vmupdate.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                              "<collect>\n"
                                              "    <hashfiles>\n"
                                              "        <file path=\"\\data\\config.ini\" "
                                              "md5=\"900150983CD24FB0D6963F7D28E17F72\" crc32=\"352441C2\" "
                                              "size=\"3\"/>\n"
                                              "    </hashfiles>\n"
                                              "    <ver>3.0.0.26</ver>\n"
                                              "</collect>\n");
    EXPECT_EQ(m_dir.read("pub/config.ini"), "abc");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "pub/stale.bin"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "pub/x"));
}

TEST_F(GeneratorTest, EveryOccurrenceOfTheSourceTextIsRemoved)
{
    // The source folder's own text appears again further down the tree.
    const std::string source = (m_dir.path() / "src").string();
    const std::string nested = source.substr(1) + "/inner.txt"; // "tmp/.../src/inner.txt"
    m_dir.write("src/" + nested, "x");
    const std::string output = (m_dir.path() / "pub").string();

    updater::generate(output, "m.xml", "1", source);

    const std::string manifest = m_dir.read("pub/m.xml");
    EXPECT_NE(manifest.find("path=\"\\inner.txt\""), std::string::npos) << manifest;
}

TEST_F(GeneratorTest, EmptyFileHasEmptyMd5)
{
    const std::string source = (m_dir.path() / "src").string();
    m_dir.write("src/empty", "");
    const std::string output = (m_dir.path() / "pub").string();
    updater::generate(output, "m.xml", "2", source);
    EXPECT_NE(m_dir.read("pub/m.xml").find("<file path=\"\\empty\" md5=\"\" crc32=\"00000000\" size=\"0\"/>"),
              std::string::npos);
}

TEST_F(GeneratorTest, LaterFileOfAPublishedNameIsLeftOut)
{
    const std::string source = (m_dir.path() / "src").string();
    m_dir.write("src/x.txt", "first");
    m_dir.write("src/sub/x.txt", "second");
    const std::string output = (m_dir.path() / "pub").string();
    updater::generate(output, "m.xml", "2", source);
    const std::string manifest = m_dir.read("pub/m.xml");
    EXPECT_NE(manifest.find("path=\"\\x.txt\""), std::string::npos);
    EXPECT_EQ(manifest.find("sub"), std::string::npos);
    EXPECT_EQ(m_dir.read("pub/x.txt"), "first");
}

} // namespace
