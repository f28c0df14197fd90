// The key and signature files: vmupdate.pub from the installation, the .sig from the
// download server, vmupdate.key from the publisher.
#include "FuzzInput.h"
#include "updater/Signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::textOf(data, size);
    std::string why;
    const auto keys = updater::parsePublicKeys(text, &why);
    const auto signature = updater::parseSignature(text);
    (void)updater::parseSecretKey(text);
    if (keys && signature)
        (void)updater::verifySignature(text, *signature, *keys);
    return 0;
}
