// The settings file "data/config.ini" in the program folder, section "info".
//
// Every read and write goes straight to the file; nothing is cached. Texts are read
// through a 40-byte buffer, so at most 39 bytes come back. A missing file or "data" folder
// reads as the defaults; writes then fail silently (the folder is never created).
//
// Thread: the user-interface thread. The object only holds the path.
#pragma once

#include <string>

class Settings {
public:
    // iniPath: the settings file, m_strIniPath of the application.
    explicit Settings(std::string iniPath);

    // The settings path inside a program folder that ends with "/".
    static std::string PathIn(const std::string& programFolder);

    const std::string& iniPath() const { return m_strIniPath; }

    // Remembered user name and password (GBK), default empty.
    [[nodiscard]] std::string user() const;
    [[nodiscard]] std::string password() const;
    // Colour-scheme suffix: "" blue, "_Orange" orange; "_blue" when the key is missing.
    [[nodiscard]] std::string background() const;
    // Remember level 0..3, default 0.
    [[nodiscard]] int autologin() const;
    // 0 until the client has started once on this installation.
    [[nodiscard]] int firstlogin() const;
    // 1 once the what's-new window was shown for the installed version, default 0.
    [[nodiscard]] int hasupdate() const;
    // Zoom of the web pages in percent, default 100.
    [[nodiscard]] int zoom() const;

    void setUser(const std::string& value) const;
    void setPassword(const std::string& value) const;
    void setBackground(const std::string& value) const;
    void setAutologin(int value) const;
    void setFirstlogin(int value) const;
    void setHasupdate(int value) const;
    void setZoom(int value) const;

private:
    std::string readText(const char* key, const char* defaultValue) const;
    int readInt(const char* key, int defaultValue) const;
    void writeText(const char* key, const std::string& value) const;
    void writeInt(const char* key, int value) const;

    std::string m_strIniPath;
};
