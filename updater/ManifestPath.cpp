#include "updater/ManifestPath.h"

#include <algorithm>

namespace updater {

bool isSafeManifestPath(std::string_view path)
{
    if (path.size() < 2 || path[0] != '\\')
        return false;
    std::size_t start = 1;
    for (;;) {
        const std::size_t end = path.find_first_of("\\/", start);
        const std::string_view segment = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (segment.find(':') != std::string_view::npos || segment.find('\0') != std::string_view::npos)
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

std::string toFileSystemPath(std::string_view manifestPath)
{
    std::string path(manifestPath);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string toManifestPath(std::string_view fileSystemPath)
{
    std::string path(fileSystemPath);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string baseName(std::string_view fileSystemPath)
{
    const std::size_t slash = fileSystemPath.rfind('/');
    return std::string(slash == std::string_view::npos ? fileSystemPath : fileSystemPath.substr(slash + 1));
}

std::string removeAll(std::string_view text, std::string_view remove)
{
    if (remove.empty())
        return std::string(text);
    std::string result;
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(remove, start)) != std::string_view::npos; start = found + remove.size())
        result.append(text.substr(start, found - start));
    result.append(text.substr(start));
    return result;
}

} // namespace updater
