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

TEST_F(GeneratorTest, SignedPublicationCarriesSha256AndItsTimes)
{
    const std::string source = (m_dir.path() / "src").string();
    m_dir.write("src/data/config.ini", "abc");
    // A publisher's own installation used as the release: its updater state stays home.
    m_dir.write("src/vmupdate.accepted", "2026-12-01T00:00:00Z 3.0.0.20\n");
    m_dir.write("src/vmupdate.pending", "3.0.0.20\n");
    const updater::PublicationTimes times{1796904283, 1796904283 + 30 * 86400};
    updater::generate((m_dir.path() / "pub").string(), "vmupdate.xml", "3.0.0.26", source, &times);

    EXPECT_EQ(m_dir.read("pub/vmupdate.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<collect>\n"
              "    <hashfiles>\n"
              "        <file path=\"\\data\\config.ini\" md5=\"900150983CD24FB0D6963F7D28E17F72\" crc32=\"352441C2\" "
              "size=\"3\" sha256=\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"/>\n"
              "    </hashfiles>\n"
              "    <ver>3.0.0.26</ver>\n"
              "    <signed>2026-12-10T12:04:43Z</signed>\n"
              "    <expires>2027-01-09T12:04:43Z</expires>\n"
              "</collect>\n");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "pub/vmupdate.accepted"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "pub/vmupdate.pending"));

    const std::optional<updater::ServerManifest> read = updater::readServerManifest(m_dir.path() / "pub/vmupdate.xml");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->signedAt, times.signedAt);
    EXPECT_EQ(read->expires, times.expires);
}

TEST(ManifestTime, OnlyTheOneSpellingReads)
{
    struct Case {
        const char* text;
        std::optional<std::int64_t> seconds;
    } cases[] = {
        {"2026-12-10T12:04:43Z", 1796904283},
        {"1970-01-01T00:00:00Z", 0},
        {"2026-02-31T00:00:00Z", std::nullopt}, // no such day
        {"2026-12-10 12:04:43Z", std::nullopt},
        {"2026-12-10T12:04:43", std::nullopt},
        {"2026-12-10T12:04:43+01:00", std::nullopt},
        {" 2026-12-10T12:04:43Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(updater::parseManifestTime(c.text), c.seconds) << c.text;
    EXPECT_EQ(updater::formatManifestTime(1796904283), "2026-12-10T12:04:43Z");
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
