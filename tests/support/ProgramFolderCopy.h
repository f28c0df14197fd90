// A copy of a program folder as a release or a fresh installation has it: everything the
// build put there, without the files a member's run leaves behind (the settings, the logs,
// the member picture, the web views' cookies and site storage), so a run of build/program never leaks into what a test publishes
// or starts.
#pragma once

#include <filesystem>
#include <system_error>

namespace testsupport {

// Removes the member's files from a copied program folder.
inline void stripMemberFiles(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove(folder / "data/config.ini", ec);
    fs::remove(folder / "skin/vip_login_pic.png", ec);
    fs::remove_all(folder / "data/web", ec);
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == ".log" && !entry.is_directory(ec))
            fs::remove(entry.path(), ec);
}

// Copies `from` to `to` (which must not exist yet) and strips the copy; false when the copy
// failed.
[[nodiscard]] inline bool copyProgramFolder(const std::filesystem::path& from, const std::filesystem::path& to)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec)
        return false;
    stripMemberFiles(to);
    return true;
}

} // namespace testsupport
