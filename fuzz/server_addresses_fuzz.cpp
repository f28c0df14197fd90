// The server-address file (domain.vmx) in the program folder.
#include "FuzzInput.h"
#include "client/settings/ServerAddresses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)ReadServerAddressFile(fuzz::asFile(data, size, "domain.vmx"));
    return 0;
}
