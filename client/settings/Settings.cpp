#include "client/settings/Settings.h"

#include "platform/Profile.h"

#include <utility>

namespace {

constexpr const char* kSection = "info";
constexpr unsigned kTextBufferSize = 40;

constexpr const char* kUser = "user";
constexpr const char* kPassword = "password";
constexpr const char* kBackground = "background";
constexpr const char* kAutologin = "autologin";
constexpr const char* kFirstlogin = "firstlogin";
constexpr const char* kHasupdate = "hasupdate";
constexpr const char* kZoom = "zoom";

constexpr const char* kBackgroundDefault = "_blue";

} // namespace

Settings::Settings(std::string iniPath)
    : m_strIniPath(std::move(iniPath))
{
}

std::string Settings::PathIn(const std::string& programFolder)
{
    return programFolder + "data/config.ini";
}

std::string Settings::user() const { return readText(kUser, ""); }
std::string Settings::password() const { return readText(kPassword, ""); }
std::string Settings::background() const { return readText(kBackground, kBackgroundDefault); }
int Settings::autologin() const { return readInt(kAutologin, 0); }
int Settings::firstlogin() const { return readInt(kFirstlogin, 0); }
int Settings::hasupdate() const { return readInt(kHasupdate, 0); }
int Settings::zoom() const { return readInt(kZoom, 100); }

void Settings::setUser(const std::string& value) const { writeText(kUser, value); }
void Settings::setPassword(const std::string& value) const { writeText(kPassword, value); }
void Settings::setBackground(const std::string& value) const { writeText(kBackground, value); }
void Settings::setAutologin(int value) const { writeInt(kAutologin, value); }
void Settings::setFirstlogin(int value) const { writeInt(kFirstlogin, value); }
void Settings::setHasupdate(int value) const { writeInt(kHasupdate, value); }
void Settings::setZoom(int value) const { writeInt(kZoom, value); }

std::string Settings::readText(const char* key, const char* defaultValue) const
{
    char buffer[kTextBufferSize] = {};
    const DWORD n = GetPrivateProfileStringA(kSection, key, defaultValue, buffer, kTextBufferSize,
                                             m_strIniPath.c_str());
    return std::string(buffer, n);
}

int Settings::readInt(const char* key, int defaultValue) const
{
    return static_cast<int>(GetPrivateProfileIntA(kSection, key, defaultValue, m_strIniPath.c_str()));
}

void Settings::writeText(const char* key, const std::string& value) const
{
    // A failed write (no "data" folder) is ignored: the next read gives the default.
    (void)WritePrivateProfileStringA(kSection, key, value.c_str(), m_strIniPath.c_str());
}

void Settings::writeInt(const char* key, int value) const
{
    writeText(key, std::to_string(value));
}
