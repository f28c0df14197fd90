// The text of a program folder's domain.vmx (the service addresses) for tests and benches.
#pragma once

#include <string>

namespace testsupport {

// Optional parts, or-ed together.
enum DomainVmxPart : unsigned {
    kXmlDeclaration = 1, // the <?xml ...?> line first
    kWebAddress = 2,     // a <web> address: base + "/"
    kLineEnd = 4,        // a line end after the root element
};

// Every address under base, in one line: <VelmarRoot><url>...</url></VelmarRoot>; the study
// pages at soft (base + "/soft" when empty), requests posted to posturl.
inline std::string domainVmx(const std::string& base, unsigned parts = 0, const std::string& soft = {},
                             const std::string& posturl = "/service/post")
{
    std::string text = parts & kXmlDeclaration ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" : "";
    text += "<VelmarRoot><url>";
    if (parts & kWebAddress)
        text += "<web>" + base + "/</web>";
    text += "<domain>" + base + "</domain><posturl>" + posturl + "</posturl><domain_soft>"
            + (soft.empty() ? base + "/soft" : soft) + "</domain_soft></url></VelmarRoot>";
    if (parts & kLineEnd)
        text += "\n";
    return text;
}

} // namespace testsupport
