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

// Files that read well: what each address becomes. The post address is the domain and the
// post path put together as they stand; the last <url> counts, with its missing children
// empty; element names match in any case.
struct AddressCase {
    const char* name;
    const char* xml;
    const char* web;
    const char* domain;
    const char* postAddress;
    const char* pageBase;
};

class ServerAddressRead : public ServerAddressFileTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(ServerAddressRead, GivesTheAddressesAsWritten)
{
    const AddressCase& c = GetParam();
    const ServerAddressFile file = readFile(c.xml);
    ASSERT_TRUE(file.ok()) << file.error;
    EXPECT_EQ(file.addresses.web, c.web);
    EXPECT_EQ(file.addresses.domain, c.domain);
    EXPECT_EQ(file.addresses.postAddress, c.postAddress);
    EXPECT_EQ(file.addresses.pageBase, c.pageBase);
}

INSTANTIATE_TEST_SUITE_P(
    ServerAddressFileTest, ServerAddressRead,
    ::testing::Values(
        AddressCase{"PostAddressIsPlainConcatenation",
                    "<VelmarRoot><url><domain>http://a.example</domain><posturl>post.do</posturl></url></VelmarRoot>",
                    "", "http://a.example", "http://a.example" "post.do", ""},
        AddressCase{"LastUrlWinsIncludingItsMissingChildren",
                    "<VelmarRoot>"
                    "<url><web>w1</web><domain>d1</domain><posturl>/p1</posturl><domain_soft>s1</domain_soft></url>"
                    "<url><domain>d2</domain><posturl>/p2</posturl></url>"
                    "</VelmarRoot>",
                    "", "d2", "d2/p2", ""},
        AddressCase{"ElementNamesInAnyCaseAreAccepted",
                    "<?xml version=\"1.0\"?>\n<VELMARROOT><Url><WEB>w</WEB><Domain>d</Domain>"
                    "<PostUrl>/p</PostUrl><DOMAIN_SOFT>s</DOMAIN_SOFT></Url></VELMARROOT>",
                    "w", "d", "d/p", "s"},
        AddressCase{"ValuesAreUsedAsTheyStand",
                    "<VelmarRoot><url><domain> http://x/ </domain><domain_soft>http://x/soft/</domain_soft></url>"
                    "</VelmarRoot>",
                    "", " http://x/ ", " http://x/ ", "http://x/soft/"},
        AddressCase{"HttpsAndIpv6AddressesAreKept",
                    "<VelmarRoot><url><domain>https://[::1]:18443</domain><posturl>/service/post</posturl>"
                    "<domain_soft>https://[::1]:18443/soft</domain_soft></url></VelmarRoot>",
                    "", "https://[::1]:18443", "https://[::1]:18443/service/post", "https://[::1]:18443/soft"},
        AddressCase{"NoUrlElementLeavesEverythingEmpty", "<VelmarRoot><other/></VelmarRoot>", "", "", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

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
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
