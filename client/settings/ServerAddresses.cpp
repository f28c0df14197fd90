#include "client/settings/ServerAddresses.h"

#include "platform/StringFormat.h"

#include <tinyxml2.h>

#include <strings.h>

namespace {

constexpr const char* kRootName = "VelmarRoot";

bool sameName(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && strcasecmp(a, b) == 0;
}

const tinyxml2::XMLElement* child(const tinyxml2::XMLNode* parent, const char* name)
{
    for (auto* e = parent->FirstChildElement(); e != nullptr; e = e->NextSiblingElement())
        if (sameName(e->Name(), name))
            return e;
    return nullptr;
}

std::string childText(const tinyxml2::XMLElement* parent, const char* name)
{
    const tinyxml2::XMLElement* e = child(parent, name);
    const char* text = e != nullptr ? e->GetText() : nullptr;
    return text != nullptr ? text : "";
}

// The parser's error in words.
const char* describe(tinyxml2::XMLError error)
{
    using namespace tinyxml2;
    switch (error) {
    case XML_SUCCESS: return "";
    case XML_ERROR_FILE_NOT_FOUND:
    case XML_ERROR_FILE_COULD_NOT_BE_OPENED: return "Failed to open file";
    case XML_ERROR_FILE_READ_ERROR: return "Failed to read file";
    case XML_ERROR_EMPTY_DOCUMENT: return "Error document empty.";
    case XML_ERROR_PARSING_ELEMENT: return "Error parsing Element.";
    case XML_ERROR_PARSING_ATTRIBUTE: return "Error reading Attributes.";
    case XML_ERROR_PARSING_TEXT: return "Error reading Element value.";
    case XML_ERROR_PARSING_CDATA: return "Error parsing CDATA.";
    case XML_ERROR_PARSING_COMMENT: return "Error parsing Comment.";
    case XML_ERROR_PARSING_DECLARATION: return "Error parsing Declaration.";
    case XML_ERROR_PARSING_UNKNOWN: return "Error parsing Unknown.";
    case XML_ERROR_MISMATCHED_ELEMENT: return "Error reading end tag.";
    case XML_ERROR_PARSING: return "Error parsing document.";
    default: return XMLDocument::ErrorIDToName(error);
    }
}

std::string errorText(const std::string& path, const char* description, int line, int column,
                      bool missingRoot)
{
    const char* fmt = "XML Parsing error inside file '%s'.\n%s\nAt line %i, column %i.\n%s%s%s";
    const char* tagA = missingRoot ? "First Tag should be '" : "";
    const char* tagB = missingRoot ? kRootName : "";
    const char* tagC = missingRoot ? "'.\n" : "";
    return platform::StringFormat(fmt, path.c_str(), description, line, column, tagA, tagB, tagC);
}

} // namespace

ServerAddressFile ReadServerAddressFile(const std::string& path)
{
    ServerAddressFile result;
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLError loaded = doc.LoadFile(path.c_str());
    if (loaded != tinyxml2::XML_SUCCESS) {
        result.error = errorText(path, describe(loaded), doc.ErrorLineNum(), 0, false);
        return result;
    }
    const tinyxml2::XMLElement* root = child(&doc, kRootName);
    if (root == nullptr) {
        result.error = errorText(path, describe(tinyxml2::XML_SUCCESS), 0, 0, true);
        return result;
    }
    for (auto* url = root->FirstChildElement(); url != nullptr; url = url->NextSiblingElement()) {
        if (!sameName(url->Name(), "url"))
            continue;
        ServerAddresses& a = result.addresses;
        a.web = childText(url, "web");
        a.domain = childText(url, "domain");
        a.postAddress = a.domain + childText(url, "posturl");
        a.pageBase = childText(url, "domain_soft");
    }
    return result;
}
