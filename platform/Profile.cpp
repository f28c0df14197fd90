#include "platform/Profile.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Serialises read-change-write rounds, so two writers in this process never lose a key.
std::mutex g_writeLock;

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view s)
{
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool isGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xfe; }

unsigned char foldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// ASCII letters without case; the trail byte of a GBK character is never folded, so two
// different Chinese names never compare equal.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (isGbkLead(ca) && i + 1 < a.size()) {
            if (ca != cb || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (foldAscii(ca) != foldAscii(cb))
            return false;
    }
    return true;
}

bool readWholeFile(const char* path, std::string& bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    char chunk[8192];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    std::fclose(file);
    return true;
}

// One line of the file, classified.
struct Line {
    enum Kind { Other, Section, Entry };
    std::string text; // without its line end
    Kind kind = Other;
    std::string name;  // section or key name, trimmed
    std::string value; // entry value, trimmed

    explicit Line(std::string lineText)
        : text(std::move(lineText))
    {
        std::string_view t = trim(text);
        if (t.empty() || t.front() == ';' || t.front() == '#')
            return;
        if (t.front() == '[') {
            const auto close = t.find(']');
            kind = Section;
            name = trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            return;
        }
        const auto eq = t.find('=');
        if (eq == std::string_view::npos || trim(t.substr(0, eq)).empty())
            return;
        kind = Entry;
        name = trim(t.substr(0, eq));
        value = trim(t.substr(eq + 1));
    }
};

class ProfileText {
public:
    explicit ProfileText(const std::string& bytes)
    {
        std::size_t start = 0;
        std::string_view all(bytes);
        if (all.substr(0, 3) == "\xef\xbb\xbf") { // a byte-order mark stays, but is no name
            m_bom = true;
            start = 3;
        }
        while (start < all.size()) {
            std::size_t end = all.find_first_of("\r\n", start);
            if (end == std::string_view::npos) {
                add(std::string(all.substr(start)));
                break;
            }
            add(std::string(all.substr(start, end - start)));
            start = end + ((all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n') ? 2 : 1);
        }
    }

    std::vector<Line>& lines() { return m_lines; }
    const std::vector<Line>& lines() const { return m_lines; }

    // Index of the first header of section, or npos.
    std::size_t findSection(std::string_view section) const
    {
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            if (m_lines[i].kind == Line::Section && sameName(m_lines[i].name, section))
                return i;
        return npos;
    }
    // One past the last line of the section whose header is at index header.
    std::size_t sectionEnd(std::size_t header) const
    {
        std::size_t i = header + 1;
        while (i < m_lines.size() && m_lines[i].kind != Line::Section)
            ++i;
        return i;
    }
    std::size_t findKey(std::size_t header, std::string_view key) const
    {
        const std::size_t end = sectionEnd(header);
        for (std::size_t i = header + 1; i < end; ++i)
            if (m_lines[i].kind == Line::Entry && sameName(m_lines[i].name, key))
                return i;
        return npos;
    }

    void insert(std::size_t at, std::string text)
    {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), Line(std::move(text)));
    }
    void erase(std::size_t from, std::size_t to)
    {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(from),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(to));
    }
    void replace(std::size_t at, std::string text) { m_lines[at] = Line(std::move(text)); }

    std::string bytes() const
    {
        std::string out = m_bom ? "\xef\xbb\xbf" : "";
        for (const Line& line : m_lines) {
            out += line.text;
            out += "\r\n";
        }
        return out;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    void add(std::string text) { m_lines.emplace_back(std::move(text)); }

    std::vector<Line> m_lines;
    bool m_bom = false;
};

// Copies text into buffer by the profile functions' rule: at most size - 1 bytes and a zero.
DWORD copyOut(std::string_view text, char* buffer, DWORD size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n > 0)
        std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// Copies a list of names, each ending with a zero, and a final zero.
DWORD copyList(const std::vector<std::string_view>& names, char* buffer, DWORD size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t used = 0;
    for (std::string_view name : names) {
        if (used + name.size() + 1 > size - 1) {
            buffer[used] = '\0';
            return size - 2;
        }
        if (!name.empty())
            std::memcpy(buffer + used, name.data(), name.size());
        used += name.size();
        buffer[used++] = '\0';
    }
    buffer[used] = '\0';
    return static_cast<DWORD>(used);
}

std::string_view unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string> lookup(const char* section, const char* key, const char* path)
{
    std::string bytes;
    if (path == nullptr || !readWholeFile(path, bytes))
        return std::nullopt;
    ProfileText text(bytes);
    const std::size_t header = text.findSection(section);
    if (header == ProfileText::npos)
        return std::nullopt;
    const std::size_t at = text.findKey(header, key);
    if (at == ProfileText::npos)
        return std::nullopt;
    return std::string(unquote(text.lines()[at].value));
}

bool hasLineBreak(const char* s) { return s != nullptr && std::strpbrk(s, "\r\n") != nullptr; }

} // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* path)
{
    if (section == nullptr || key == nullptr) {
        std::string bytes;
        if (path != nullptr)
            readWholeFile(path, bytes);
        ProfileText text(bytes);
        std::vector<std::string_view> names;
        if (section == nullptr) {
            for (const Line& line : text.lines())
                if (line.kind == Line::Section)
                    names.push_back(line.name);
        } else if (const std::size_t header = text.findSection(section); header != ProfileText::npos) {
            const std::size_t end = text.sectionEnd(header);
            for (std::size_t i = header + 1; i < end; ++i)
                if (text.lines()[i].kind == Line::Entry)
                    names.push_back(text.lines()[i].name);
        }
        return copyList(names, buffer, size);
    }

    if (const auto value = lookup(section, key, path))
        return copyOut(*value, buffer, size);
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    const auto last = fallback.find_last_not_of(' ');
    fallback = last == std::string_view::npos ? std::string_view{} : fallback.substr(0, last + 1);
    return copyOut(fallback, buffer, size);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* path)
{
    if (section == nullptr || key == nullptr)
        return static_cast<UINT>(defaultValue);
    const auto value = lookup(section, key, path);
    if (!value || value->empty())
        return static_cast<UINT>(defaultValue);

    std::string_view s = trim(*value);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    UINT result = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            break;
        result = result * 10 + static_cast<UINT>(c - '0'); // wraps like the 32-bit original
    }
    return negative ? 0u - result : result;
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* path)
{
    if (section == nullptr || path == nullptr || hasLineBreak(section) || hasLineBreak(key)
        || hasLineBreak(value) || std::strchr(section, ']') != nullptr
        || (key != nullptr && (std::strchr(key, '=') != nullptr || trim(key).empty())))
        return false;

    std::lock_guard<std::mutex> lock(g_writeLock);
    std::string bytes;
    if (!readWholeFile(path, bytes) && errno != ENOENT)
        return false;
    ProfileText text(bytes);
    std::size_t header = text.findSection(section);

    if (key == nullptr) {
        if (header != ProfileText::npos)
            text.erase(header, text.sectionEnd(header));
    } else if (value == nullptr) {
        if (header != ProfileText::npos) {
            if (const std::size_t at = text.findKey(header, key); at != ProfileText::npos)
                text.erase(at, at + 1);
        }
    } else {
        const std::string entry = std::string(trim(key)) + "=" + value;
        if (header == ProfileText::npos) {
            text.insert(text.lines().size(), "[" + std::string(trim(section)) + "]");
            text.insert(text.lines().size(), entry);
        } else if (const std::size_t at = text.findKey(header, key); at != ProfileText::npos) {
            // The key keeps the spelling the file has.
            text.replace(at, text.lines()[at].name + "=" + value);
        } else {
            // After the last entry of the section, so trailing blank lines and comments
            // stay between this section and the next.
            std::size_t insertAt = header + 1;
            const std::size_t end = text.sectionEnd(header);
            for (std::size_t i = header + 1; i < end; ++i)
                if (text.lines()[i].kind == Line::Entry)
                    insertAt = i + 1;
            text.insert(insertAt, entry);
        }
    }
    return platform::ReplaceFileContent(path, text.bytes());
}
