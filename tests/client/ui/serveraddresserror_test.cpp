#include "client/settings/ServerAddresses.h"
#include "client/ui/ServerAddressError.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerAddressErrorDeathTest, MissingFileShowsMessageAndExitsWith255)
{
    testsupport::TempDir dir;
    const std::string path = dir.folder() + "domain.vmx";
    const ServerAddressFile file = ReadServerAddressFile(path);
    ASSERT_FALSE(file.ok());
    // The message box always writes its caption and text to standard error as well.
    EXPECT_EXIT(FailOnServerAddressError(file.error), ::testing::ExitedWithCode(255),
                "XML Parsing error: XML Parsing error inside file '" + path + "'");
}

} // namespace
