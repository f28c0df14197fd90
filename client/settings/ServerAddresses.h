// The server-address file "domain.vmx" in the program folder: where the study service
// lives. Read once while the main window is created; never written.
//
//   <VelmarRoot>
//     <url>
//       <web>...</web> <domain>...</domain> <posturl>...</posturl> <domain_soft>...</domain_soft>
//     </url>
//   </VelmarRoot>
//
// Element names are matched without regard to letter case. Every url element is read in
// document order, so the last one wins, empty values of children it lacks included. Values
// are used as they stand: no trimming, no slash handling.
#pragma once

#include <string>

struct ServerAddresses {
    std::string web;         // kept; nothing uses it
    std::string domain;      // first half of the post address
    std::string postAddress; // domain immediately followed by posturl, no separator added
    std::string pageBase;    // domain_soft: page address = pageBase + "/" + page name
};

struct ServerAddressFile {
    ServerAddresses addresses; // all empty when the file has no url element
    // Empty when the file was read; otherwise the complete text of the parse-error message:
    // "XML Parsing error inside file '<path>'.\n<description>\nAt line <l>, column <c>.\n"
    // followed, for a missing root, by "First Tag should be 'VelmarRoot'.\n". The XML
    // library reports lines only, so the column is always 0; a file that cannot be opened
    // or holds nothing reports line 0.
    std::string error;

    bool ok() const { return error.empty(); }
};

[[nodiscard]] ServerAddressFile ReadServerAddressFile(const std::string& path);
