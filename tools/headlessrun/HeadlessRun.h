// The run command without a display, as the header of main.cpp describes it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Runs the client of build/program once, watched (see main.cpp); the command's exit code.
// Catches SIGINT and SIGTERM for the rest of the process, so that it can stop what it
// started before it returns 128 + the signal.
int RunHeadless(const std::filesystem::path& build, std::vector<std::string> clientArguments);
