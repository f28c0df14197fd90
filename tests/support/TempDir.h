// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kavrel-test-XXXXXX").string();
        if (char* made = mkdtemp(pattern.data()))
            m_path = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder as the client keeps it: with a trailing "/".
    std::string folder() const { return m_path.string() + "/"; }

    std::filesystem::path write(const std::string& relative, const std::string& bytes) const
    {
        std::filesystem::path p = m_path / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::string read(const std::string& relative) const { return readFile(m_path / relative); }

    static std::string readFile(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path m_path;
};

// Every regular file below folder: relative path -> content.
inline std::map<std::string, std::string> filesBelow(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).string()] = TempDir::readFile(entry.path());
    return files;
}

class TempDirTest : public ::testing::Test {
protected:
    TempDir m_dir;
};

} // namespace testsupport
