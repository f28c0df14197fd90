// What the benches' main functions share: their own --name=value flags taken out before
// Google Benchmark reads the rest, and a scratch folder of their own.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace benchmain {

// A flag of the bench: its "--name=" prefix and what to do with the text after it.
using Flag = std::pair<std::string, std::function<void(const char* value)>>;

// Hands each of the bench's flags to its handler and the other arguments to Google Benchmark.
inline void initialize(int argc, char** argv, const std::vector<Flag>& flags)
{
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        bool taken = false;
        for (const auto& [prefix, handle] : flags) {
            if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) {
                handle(argv[i] + prefix.size());
                taken = true;
                break;
            }
        }
        if (!taken)
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
}

// A new folder <temp>/kavrel-<name>-XXXXXX; empty when it cannot be made.
inline std::filesystem::path scratchFolder(const std::string& name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / ("kavrel-" + name + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

} // namespace benchmain
