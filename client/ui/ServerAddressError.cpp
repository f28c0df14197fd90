#include "client/ui/ServerAddressError.h"

#include "platform/window/WindowSystem.h"

#include <cstdlib>

void FailOnServerAddressError(const std::string& errorText)
{
    MessageBox(nullptr, errorText.c_str(), "XML Parsing error", MB_OK | MB_ICONERROR | MB_TOPMOST);
    std::exit(255);
}
