#include "client/settings/ServerAddresses.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

class ServerAddressFileTest : public testsupport::TempDirTest {
protected:
    ServerAddressFile readFile(const std::string& xml)
    {
        m_dir.write("domain.vmx", xml);
        return ReadServerAddressFile(path());
    }
    std::string path() const { return m_dir.folder() + "domain.vmx"; }
};

TEST_F(ServerAddressFileTest, ShippedFileGivesPostAddressAndPageBase)
{
    const ServerAddressFile file = ReadServerAddressFile(KAVREL_SOURCE_DIR "/data/domain.vmx");
    ASSERT_TRUE(file.ok()) << file.error;
    EXPECT_EQ(file.addresses.web, "http://127.0.0.1:18080/");
    EXPECT_EQ(file.addresses.domain, "http://127.0.0.1:18080");
    EXPECT_EQ(file.addresses.postAddress, "http://127.0.0.1:18080/service/post");
    EXPECT_EQ(file.addresses.pageBase, "http://127.0.0.1:18080/soft");
}

TEST_F(ServerAddressFileTest, PostAddressIsPlainConcatenation)
{
    const ServerAddressFile file = readFile(
        "<VelmarRoot><url><domain>http://a.example</domain><posturl>post.do</posturl></url></VelmarRoot>");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.addresses.postAddress, "http://a.example" "post.do");
}

TEST_F(ServerAddressFileTest, LastUrlWinsIncludingItsMissingChildren)
{
    const ServerAddressFile file = readFile(
        "<VelmarRoot>"
        "<url><web>w1</web><domain>d1</domain><posturl>/p1</posturl><domain_soft>s1</domain_soft></url>"
        "<url><domain>d2</domain><posturl>/p2</posturl></url>"
        "</VelmarRoot>");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.addresses.web, "");
    EXPECT_EQ(file.addresses.domain, "d2");
    EXPECT_EQ(file.addresses.postAddress, "d2/p2");
    EXPECT_EQ(file.addresses.pageBase, "");
}

TEST_F(ServerAddressFileTest, ElementNamesInAnyCaseAreAccepted)
{
    const ServerAddressFile file = readFile(
        "<?xml version=\"1.0\"?>\n<VELMARROOT><Url><WEB>w</WEB><Domain>d</Domain>"
        "<PostUrl>/p</PostUrl><DOMAIN_SOFT>s</DOMAIN_SOFT></Url></VELMARROOT>");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.addresses.web, "w");
    EXPECT_EQ(file.addresses.postAddress, "d/p");
    EXPECT_EQ(file.addresses.pageBase, "s");
}

TEST_F(ServerAddressFileTest, ValuesAreUsedAsTheyStand)
{
    const ServerAddressFile file = readFile(
        "<VelmarRoot><url><domain> http://x/ </domain><domain_soft>http://x/soft/</domain_soft></url></VelmarRoot>");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.addresses.postAddress, " http://x/ ");
    EXPECT_EQ(file.addresses.pageBase, "http://x/soft/");
}

TEST_F(ServerAddressFileTest, NoUrlElementLeavesEverythingEmpty)
{
    const ServerAddressFile file = readFile("<VelmarRoot><other/></VelmarRoot>");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.addresses.postAddress, "");
    EXPECT_EQ(file.addresses.pageBase, "");
}

struct FaultCase {
    const char* name;
    const char* content; // nullptr: no file at all
    const char* description;
    int line;
    bool missingRoot;
};

class ServerAddressFault : public ServerAddressFileTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ServerAddressFault, GivesExactMessageText)
{
    const FaultCase& c = GetParam();
    const ServerAddressFile file = c.content ? readFile(c.content) : ReadServerAddressFile(path());
    EXPECT_FALSE(file.ok());
    std::string expected = "XML Parsing error inside file '" + path() + "'.\n" + c.description + "\nAt line "
                           + std::to_string(c.line) + ", column 0.\n";
    if (c.missingRoot)
        expected += "First Tag should be 'VelmarRoot'.\n";
    EXPECT_EQ(file.error, expected);
}

INSTANTIATE_TEST_SUITE_P(
    ServerAddresses, ServerAddressFault,
    ::testing::Values(FaultCase{"missing_file", nullptr, "Failed to open file", 0, false},
                      FaultCase{"empty_file", "", "Error document empty.", 0, false},
                      FaultCase{"not_xml", "this is not xml <", "Error parsing document.", 1, false},
                      FaultCase{"broken_element", "<VelmarRoot><url", "Error parsing Element.", 1, false},
                      FaultCase{"unclosed_element", "<VelmarRoot>\n<url>\n</VelmarRoot>",
                                "Error reading end tag.", 2, false},
                      FaultCase{"other_root", "<Root><url/></Root>", "", 0, true},
                      FaultCase{"only_a_comment", "<!-- nothing -->", "", 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
