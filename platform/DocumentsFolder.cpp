#include "platform/DocumentsFolder.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// One line of user-dirs.dirs for key: XDG_DOCUMENTS_DIR="$HOME/Documents". The file is written
// for the shell; its own tools only ever write this quoted form, with "$HOME" or an
// absolute path, so that is what is understood here.
std::optional<std::string> userDirEntry(const std::string& line, const std::string& key, const std::string& home)
{
    std::size_t pos = line.find_first_not_of(" \t");
    if (pos == std::string::npos || line[pos] == '#')
        return std::nullopt;
    if (line.compare(pos, key.size(), key) != 0)
        return std::nullopt;
    pos = line.find_first_not_of(" \t", pos + key.size());
    if (pos == std::string::npos || line[pos] != '=')
        return std::nullopt;
    std::string value = line.substr(pos + 1);
    const std::size_t first = value.find_first_not_of(" \t");
    value = first == std::string::npos ? std::string() : value.substr(first);
    if (value.size() >= 2 && value.front() == '"') {
        const std::size_t close = value.find('"', 1);
        if (close == std::string::npos)
            return std::nullopt;
        value = value.substr(1, close - 1);
    } else {
        const std::size_t end = value.find_first_of(" \t#");
        if (end != std::string::npos)
            value.resize(end);
    }
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
        value = home + value.substr(5);
    if (value.empty() || value.front() != '/')
        return std::nullopt;
    return value;
}

// The folder user-dirs.dirs names for key, else the home folder.
std::string userDirectory(const std::string& key)
{
    const std::string home = withoutTrailingSlash(homeFolder());
    std::string config;
    if (const char* xdgConfig = std::getenv("XDG_CONFIG_HOME"); xdgConfig && *xdgConfig)
        config = xdgConfig;
    else
        config = home + "/.config";

    std::ifstream in(config + "/user-dirs.dirs");
    std::optional<std::string> folder;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // The shell keeps the last assignment, and so do we.
        if (std::optional<std::string> entry = userDirEntry(line, key, home))
            folder = std::move(entry);
    }
    return withoutTrailingSlash(folder.value_or(home));
}

} // namespace

std::string DocumentsFolder() { return userDirectory("XDG_DOCUMENTS_DIR"); }

std::string DownloadFolder() { return userDirectory("XDG_DOWNLOAD_DIR"); }

} // namespace platform
