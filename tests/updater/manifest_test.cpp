#include "updater/Manifest.h"
#include "updater/ManifestPath.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kAbcMd5 = "900150983CD24FB0D6963F7D28E17F72";

class ManifestTest : public testsupport::TempDirTest {
protected:
    // The install folder as the client passes it: no trailing separator.
    std::string install() const { return (m_dir.path() / "Kavrel").string(); }

    std::filesystem::path manifest(const std::string& xml) const { return m_dir.write("vmupdate.xml", xml); }

    // Runs compare and returns the listed targets in manifest form.
    std::vector<std::string> listed(const std::string& xml, int expectedResult = 0, bool force = false,
                                    const std::string& version = "3.0.0.25")
    {
        const auto copy = manifest(xml);
        updater::UpdateJob job;
        EXPECT_EQ(updater::compare(install(), job, copy, version, force), expectedResult);
        EXPECT_FALSE(std::filesystem::exists(copy)) << "the local copy is deleted in every case";
        std::vector<std::string> targets;
        for (const auto& record : job.files)
            targets.push_back(updater::toManifestPath(updater::removeAll(record.path, install())));
        m_job = std::move(job);
        return targets;
    }

    updater::UpdateJob m_job;
};

std::string serverManifest(const std::string& entries, const std::string& version = "3.0.0.26",
                           const std::string& root = "collect", const std::string& list = "hashfiles")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root + ">\n<" + list + ">\n" + entries + "</" + list +
           ">\n<ver>" + version + "</ver>\n</" + root + ">\n";
}

std::string entry(const std::string& path, const std::string& md5, const std::string& size = "3")
{
    return "<file path=\"" + path + "\" md5=\"" + md5 + "\" crc32=\"352441C2\" size=\"" + size + "\"/>\n";
}

TEST_F(ManifestTest, ListsMissingAndChangedFilesOnly)
{
    m_dir.write("Kavrel/same.txt", "abc");
    m_dir.write("Kavrel/data/changed.ini", "old");
    m_dir.write("Kavrel/empty", "");
    m_dir.write("Kavrel/unlisted", "kept");
    const auto targets = listed(serverManifest(entry("\\same.txt", kAbcMd5) + entry("\\data\\changed.ini", kAbcMd5) +
                                               entry("\\data\\new.bin", kAbcMd5, "77") + entry("\\empty", "", "0") +
                                               entry("\\missing-empty", "", "0")));
    EXPECT_EQ(targets, (std::vector<std::string>{"\\data\\changed.ini", "\\data\\new.bin", "\\missing-empty"}));
    EXPECT_EQ(m_job.version, "3.0.0.26");
    ASSERT_EQ(m_job.files.size(), 3u);
    EXPECT_EQ(m_job.files[1].path, install() + "/data/new.bin");
    EXPECT_EQ(m_job.files[1].size, 77u);
    EXPECT_EQ(m_job.files[1].md5, kAbcMd5);
}

TEST_F(ManifestTest, OtherRootAndListNamesReadTheSame)
{
    const auto targets = listed(serverManifest(entry("\\a.txt", kAbcMd5), "3.0.0.26", "anything", "whatever"));
    EXPECT_EQ(targets, std::vector<std::string>{"\\a.txt"});
}

TEST_F(ManifestTest, LowerCaseMd5MakesEveryFileDiffer)
{
    m_dir.write("Kavrel/a.txt", "abc");
    const auto targets = listed(serverManifest(entry("\\a.txt", "900150983cd24fb0d6963f7d28e17f72")));
    EXPECT_EQ(targets, std::vector<std::string>{"\\a.txt"});
}

TEST_F(ManifestTest, VersionDecidesUnlessForced)
{
    m_dir.write("Kavrel/a.txt", "old");
    const std::string xml = serverManifest(entry("\\a.txt", kAbcMd5), "3.0.0.25");
    EXPECT_TRUE(listed(xml, -1).empty());
    EXPECT_EQ(listed(xml, 0, true), std::vector<std::string>{"\\a.txt"});
    EXPECT_TRUE(listed(serverManifest(entry("\\a.txt", kAbcMd5), "3.0.0.24"), -1).empty());
}

TEST_F(ManifestTest, UnreadableManifestsAreRejectedWhole)
{
    const std::string good = entry("\\a.txt", kAbcMd5);
    struct Case {
        const char* name;
        std::string xml;
    } cases[] = {
        {"not xml", "<collect><hashfiles>"},
        {"empty file", ""},
        {"no ver", "<collect><hashfiles>" + good + "</hashfiles></collect>"},
        {"no list", "<collect/>"},
        {"entry without path", serverManifest("<file md5=\"\" size=\"0\"/>")},
        {"entry without md5", serverManifest("<file path=\"\\a\" size=\"0\"/>")},
        {"entry without size", serverManifest("<file path=\"\\a\" md5=\"\"/>")},
        {"parent segment", serverManifest(good + entry("\\..\\outside.txt", kAbcMd5))},
        {"parent segment inside", serverManifest(entry("\\data\\..\\..\\x", kAbcMd5) + good)},
        {"forward-slash parent", serverManifest(entry("\\data/../../x", kAbcMd5))},
        {"absolute path", serverManifest(entry("/etc/passwd", kAbcMd5))},
        {"drive", serverManifest(entry("C:\\Windows\\x.dll", kAbcMd5))},
        {"drive after backslash", serverManifest(entry("\\C:\\x.dll", kAbcMd5))},
        {"no leading backslash", serverManifest(entry("sibling.txt", kAbcMd5))},
        {"network path", serverManifest(entry("\\\\server\\share\\x", kAbcMd5))},
        {"folder only", serverManifest(entry("\\", kAbcMd5))},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(listed(c.xml, -1, true).empty()) << c.name;
}

TEST_F(ManifestTest, SameBaseNameIsStagedOnce)
{
    // One flat staging folder: the second file would take the first one's staged copy.
    const auto targets = listed(serverManifest(entry("\\a\\x.txt", kAbcMd5) + entry("\\b\\x.txt", kAbcMd5)));
    EXPECT_EQ(targets, std::vector<std::string>{"\\a\\x.txt"});
}

TEST_F(ManifestTest, StagingManifestBytesAndRoundTrip)
{
    updater::UpdateJob job;
    job.version = "3.0.0.26";
    job.files.push_back({install() + "/data/config.ini", "", kAbcMd5, "", 3, ""});
    job.files.push_back({install() + "/Kavrel", "", "", "", 0, ""});
    job.files.push_back({install() + "/skin/\xE5\x9B\xBE.png", "", "22AF645D1859CB5CA6DA0C484F1F37EA", "", 4000000000u, ""});
    const auto file = m_dir.path() / "vmupdate.xml_tmp.xml";
    ASSERT_TRUE(updater::writeStagingManifest(job, install(), file));
    EXPECT_EQ(m_dir.read("vmupdate.xml_tmp.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                   "<updates>\n"
                                                   "    <files>\n"
                                                   "        <item targetfile=\"\\data\\config.ini\" md5=\"900150983CD24FB0D6963F7D28E17F72\" size=\"3\"/>\n"
                                                   "        <item targetfile=\"\\Kavrel\" md5=\"\" size=\"0\"/>\n"
                                                   "        <item targetfile=\"\\skin\\\xE5\x9B\xBE.png\" md5=\"22AF645D1859CB5CA6DA0C484F1F37EA\" size=\"4000000000\"/>\n"
                                                   "    </files>\n"
                                                   "    <ver>3.0.0.26</ver>\n"
                                                   "</updates>\n");
    const auto read = updater::readStagingManifest(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->version, "3.0.0.26");
    ASSERT_EQ(read->items.size(), 3u);
    const char* targets[] = {"\\data\\config.ini", "\\Kavrel", "\\skin\\\xE5\x9B\xBE.png"};
    for (std::size_t i = 0; i < read->items.size(); ++i) {
        EXPECT_EQ(read->items[i].target, targets[i]);
        ASSERT_TRUE(read->items[i].expected) << targets[i];
        EXPECT_EQ(read->items[i].expected->md5, job.files[i].md5);
        EXPECT_EQ(read->items[i].expected->size, job.files[i].size);
    }
}

TEST_F(ManifestTest, StagedItemOfAnOlderUpdaterHasNothingToCheckAgainst)
{
    const auto read = updater::readStagingManifest(
        m_dir.write("staged.xml", "<updates><files><item targetfile=\"\\a\"/><item targetfile=\"\\b\" md5=\"X\"/>"
                                  "<item targetfile=\"\\c\" size=\"1\"/></files><ver>3</ver></updates>"));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->items.size(), 3u);
    for (const auto& item : read->items)
        EXPECT_FALSE(item.expected) << item.target;
}

TEST_F(ManifestTest, UnreadableStagingManifests)
{
    const char* cases[] = {
        "<updates><files><item targetfile=\"\\a\"/></files>",
        "<updates><files><item targetfile=\"\\a\"/></files></updates>",
        "<updates><ver>3</ver></updates>",
        "<updates><files><item/></files><ver>3</ver></updates>",
        "<updates><files><item targetfile=\"\\..\\a\"/></files><ver>3</ver></updates>",
    };
    for (const char* xml : cases)
        EXPECT_FALSE(updater::readStagingManifest(m_dir.write("staged.xml", xml))) << xml;
    EXPECT_FALSE(updater::readStagingManifest(m_dir.path() / "missing.xml"));
}

} // namespace
