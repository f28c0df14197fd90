// The skin engine's description loader (skin/config.xml).
#include "FuzzInput.h"
#include "dulib/SkinData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    // A folder that holds no images: only the description's parsing is under test.
    (void)dulib::ParseSkinData(std::string(fuzz::textOf(data, size)), "/nonexistent/", &error);
    return 0;
}
