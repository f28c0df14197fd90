#include "updater/Manifest.h"

#include "updater/FileDigest.h"
#include "updater/ManifestPath.h"
#include "updater/Version.h"

#include <cstdio>
#include <ctime>
#include <set>
#include <tinyxml2.h>

namespace updater {
namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

// The text of an element's first child when that child is text, else empty.
std::string textOf(const XMLElement* element)
{
    const tinyxml2::XMLNode* first = element->FirstChild();
    if (first && first->ToText() && first->Value())
        return first->Value();
    return {};
}

// A decimal size as the manifests write it; leading digits only, like atoi.
std::uint32_t sizeOf(const char* text)
{
    std::uint64_t value = 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(*text - '0'), UINT32_MAX);
    return static_cast<std::uint32_t>(value);
}

void setSize(XMLElement* element, std::uint32_t size)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(size));
    element->SetAttribute("size", text);
}

bool save(XMLDocument& document, const std::filesystem::path& file)
{
    return document.SaveFile(file.c_str()) == tinyxml2::XML_SUCCESS;
}

std::optional<ServerManifest> serverManifestOf(const XMLDocument& document)
{
    const XMLElement* root = document.FirstChildElement();
    if (!root)
        return std::nullopt;
    const XMLElement* list = root->FirstChildElement();
    const XMLElement* ver = root->FirstChildElement("ver");
    if (!list || !ver)
        return std::nullopt;

    ServerManifest manifest;
    manifest.version = textOf(ver);
    for (const XMLElement* entry = list->FirstChildElement("file"); entry; entry = entry->NextSiblingElement("file")) {
        const char* path = entry->Attribute("path");
        const char* md5 = entry->Attribute("md5");
        const char* size = entry->Attribute("size");
        if (!path || !md5 || !size || !isSafeManifestPath(path))
            return std::nullopt;
        const char* sha256 = entry->Attribute("sha256");
        manifest.entries.push_back({path, md5, sizeOf(size), sha256 ? sha256 : ""});
    }
    if (const XMLElement* at = root->FirstChildElement("signed"))
        manifest.signedAt = parseManifestTime(textOf(at));
    if (const XMLElement* until = root->FirstChildElement("expires"))
        manifest.expires = parseManifestTime(textOf(until));
    return manifest;
}

std::optional<StagingManifest> stagingManifestOf(const XMLDocument& document)
{
    const XMLElement* root = document.FirstChildElement();
    if (!root)
        return std::nullopt;
    const XMLElement* ver = root->FirstChildElement("ver");
    const XMLElement* files = root->FirstChildElement("files");
    if (!ver || !files)
        return std::nullopt;

    StagingManifest manifest;
    manifest.version = textOf(ver);
    for (const XMLElement* item = files->FirstChildElement("item"); item; item = item->NextSiblingElement("item")) {
        const char* target = item->Attribute("targetfile");
        if (!target || !isSafeManifestPath(target))
            return std::nullopt;
        StagedItem staged{target, std::nullopt};
        const char* md5 = item->Attribute("md5");
        const char* size = item->Attribute("size");
        if (md5 && size)
            staged.expected = ExpectedContent{md5, sizeOf(size), {}};
        manifest.items.push_back(std::move(staged));
    }
    return manifest;
}

template <typename Result>
std::optional<Result> fromFile(const std::filesystem::path& file, std::optional<Result> (*of)(const XMLDocument&))
{
    XMLDocument document;
    return document.LoadFile(file.c_str()) == tinyxml2::XML_SUCCESS ? of(document) : std::nullopt;
}

template <typename Result>
std::optional<Result> fromText(std::string_view text, std::optional<Result> (*of)(const XMLDocument&))
{
    XMLDocument document;
    return document.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS ? of(document) : std::nullopt;
}

} // namespace

std::string formatManifestTime(std::int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[32] = "";
    if (::gmtime_r(&time, &utc))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<std::int64_t> parseManifestTime(std::string_view text)
{
    // Exactly the form formatManifestTime writes: a signed text has one spelling.
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size())
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == 'd' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != kShape[i])
            return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    std::tm utc{};
    utc.tm_year = number(0, 4) - 1900;
    utc.tm_mon = number(5, 2) - 1;
    utc.tm_mday = number(8, 2);
    utc.tm_hour = number(11, 2);
    utc.tm_min = number(14, 2);
    utc.tm_sec = number(17, 2);
    const std::int64_t seconds = ::timegm(&utc);
    // timegm normalises 2026-02-31; only a time that prints back the same is one.
    if (formatManifestTime(seconds) != text)
        return std::nullopt;
    return seconds;
}

std::optional<ServerManifest> readServerManifest(const std::filesystem::path& file)
{
    return fromFile(file, serverManifestOf);
}

std::optional<ServerManifest> parseServerManifest(std::string_view text)
{
    return fromText(text, serverManifestOf);
}

std::optional<StagingManifest> readStagingManifest(const std::filesystem::path& file)
{
    return fromFile(file, stagingManifestOf);
}

std::optional<StagingManifest> parseStagingManifest(std::string_view text)
{
    return fromText(text, stagingManifestOf);
}

bool writeServerManifest(const std::filesystem::path& file, const std::vector<FileRecord>& records,
                         const std::string& version, const PublicationTimes* times)
{
    XMLDocument document;
    document.InsertEndChild(document.NewDeclaration());
    XMLElement* root = document.NewElement("collect");
    document.InsertEndChild(root);
    XMLElement* list = root->InsertNewChildElement("hashfiles");
    for (const FileRecord& record : records) {
        XMLElement* entry = list->InsertNewChildElement("file");
        entry->SetAttribute("path", toManifestPath(record.secondPath).c_str());
        entry->SetAttribute("md5", record.md5.c_str());
        entry->SetAttribute("crc32", record.crc32.c_str());
        setSize(entry, record.size);
        if (times)
            entry->SetAttribute("sha256", record.sha256.c_str());
    }
    root->InsertNewChildElement("ver")->SetText(version.c_str());
    if (times) {
        root->InsertNewChildElement("signed")->SetText(formatManifestTime(times->signedAt).c_str());
        root->InsertNewChildElement("expires")->SetText(formatManifestTime(times->expires).c_str());
    }
    return save(document, file);
}

bool writeStagingManifest(const UpdateJob& job, const std::string& installFolder, const std::filesystem::path& file)
{
    XMLDocument document;
    document.InsertEndChild(document.NewDeclaration());
    XMLElement* root = document.NewElement("updates");
    document.InsertEndChild(root);
    XMLElement* files = root->InsertNewChildElement("files");
    for (const FileRecord& record : job.files) {
        XMLElement* item = files->InsertNewChildElement("item");
        item->SetAttribute("targetfile", toManifestPath(removeAll(record.path, installFolder)).c_str());
        item->SetAttribute("md5", record.md5.c_str());
        setSize(item, record.size);
    }
    root->InsertNewChildElement("ver")->SetText(job.version.c_str());
    return save(document, file);
}

int compare(const std::string& installFolder, UpdateJob& job, const std::filesystem::path& localCopy,
            const std::string& currentVersion, bool force)
{
    job.files.clear();
    job.version.clear();
    std::optional<ServerManifest> manifest = readServerManifest(localCopy);
    std::error_code ignored;
    std::filesystem::remove(localCopy, ignored);
    if (!manifest)
        return -1;
    return compare(installFolder, job, *manifest, currentVersion, force);
}

int compare(const std::string& installFolder, UpdateJob& job, const ServerManifest& manifest,
            const std::string& currentVersion, bool force)
{
    job.files.clear();
    job.version = manifest.version;
    if (!force && !newer(currentVersion, job.version))
        return -1;

    // The staging folder is flat: a second file of the same name would take the first
    // one's staged copy, and apply would install it under the wrong path.
    std::set<std::string> stagedNames;
    for (const ServerManifestEntry& entry : manifest.entries) {
        FileRecord record;
        record.path = installFolder + toFileSystemPath(entry.path);
        std::error_code error;
        if (std::filesystem::exists(record.path, error) && fileMd5(record.path) == entry.md5)
            continue;
        if (!stagedNames.insert(baseName(record.path)).second)
            continue;
        record.md5 = entry.md5;
        record.size = entry.size;
        record.sha256 = entry.sha256;
        job.files.push_back(std::move(record));
    }
    return 0;
}

} // namespace updater
