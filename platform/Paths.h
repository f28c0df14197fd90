// Where the running program lives.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// The running executable (/proc/self/exe resolved); empty when it cannot be read.
std::filesystem::path ExecutablePath();

// The folder of the running executable, always ending with "/" ("/" alone when the
// executable cannot be found).
std::string ProgramFolder();

} // namespace platform
