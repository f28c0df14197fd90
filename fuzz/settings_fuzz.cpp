// The settings (INI) reader and writer on a file of any content.
#include "FuzzInput.h"
#include "platform/Profile.h"

#include <vector>

namespace {

// The names of a zero-separated list, as the profile functions return them.
std::vector<std::string> names(const std::vector<char>& list, DWORD length)
{
    std::vector<std::string> result;
    for (DWORD at = 0; at < length && list[at] != '\0';) {
        result.emplace_back(&list[at]);
        at += static_cast<DWORD>(result.back().size()) + 1;
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = fuzz::asFile(data, size, "config.ini");
    std::vector<char> buffer(4096);
    const DWORD sections = GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), 4096, path.c_str());
    for (const std::string& section : names(buffer, sections)) {
        std::vector<char> keyList(4096);
        const DWORD keys = GetPrivateProfileStringA(section.c_str(), nullptr, "", keyList.data(), 4096, path.c_str());
        for (const std::string& key : names(keyList, keys)) {
            char value[64];
            (void)GetPrivateProfileStringA(section.c_str(), key.c_str(), "d", value, sizeof value, path.c_str());
            (void)GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, path.c_str());
        }
    }
    // The writes the client makes at every start, on whatever the file held.
    (void)WritePrivateProfileStringA("info", "hasupdate", "1", path.c_str());
    (void)WritePrivateProfileStringA("info", "firstrun", nullptr, path.c_str());
    (void)GetPrivateProfileIntA("info", "hasupdate", 0, path.c_str());
    return 0;
}
