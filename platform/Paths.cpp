#include "platform/Paths.h"

#include <system_error>

namespace platform {

std::filesystem::path ExecutablePath()
{
    std::error_code ec;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return path;
}

std::string ProgramFolder()
{
    std::string folder = ExecutablePath().parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace platform
