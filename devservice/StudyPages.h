// The dev service's web pages (HTML, UTF-8): a study page for every page name the client
// opens under the page base, the two advertisement pages, the external-account login page
// and the site's front page.
#pragma once

#include <map>
#include <string>

namespace devservice {

using PageParams = std::multimap<std::string, std::string>;

// The page for a page name ("testSites_sitesList.htm"): a list, an article or questions
// to answer, by what the page is; unknown names get a general page that shows the name.
// The print function's page ("print_index.htm") opens with a button 56 px high, the width
// of its card, that calls window.print().
// A member page (IsMemberPage) greets memberName, the member of the request's session,
// or, when it is empty, says that no one is logged in.
std::string StudyPage(const std::string& pageName, const PageParams& params, const std::string& memberName = {});

// The member centre ("memberCenter_*") and the member's own pages: they show whose they are.
bool IsMemberPage(const std::string& pageName);
// The greeting line of a member page, HTML.
std::string MemberGreeting(const std::string& memberName);

// "ad_top.htm" (the banner over the main window) and "ad_login.htm" (the login form's).
std::string AdvertisementPage(const std::string& pageName);

// The external-account login page for site ("renren", "weibo", "qq"): it lists the demo
// members; confirming one leads to confirmAddress + "&member=<uid>".
std::string SocialLoginPage(const std::string& site, const std::string& confirmAddress);

// The public web site's front page.
std::string FrontPage(const std::string& pageBase);

// Title of a page name, "" for names the dev service does not know by name.
std::string PageTitle(const std::string& pageName);

// Pages that exercise the client's browser ("browser/<name>" under the page base), or ""
// for a name it does not know:
//   links.htm?other=<address>&features=<window features>
//                              three bands 150 px high, top to bottom: a blank-target link
//                              to popup.htm, a blank-target link to `other`, a button that
//                              window.open()s popup.htm with the features (default
//                              "width=500,height=400"); and, a moment after loading, a
//                              window.open() of unasked.htm that no member asked for.
//   popup.htm                  a page whose whole face is a button calling window.close().
//   downloads.htm              three bands 150 px high: links to file/notes.pdf (an
//                              attachment), file/data.bin (a type no browser shows) and
//                              file/lecture.zip (an attachment).
//   video.htm                  media/clip.webm playing muted; the page turns green
//                              (#00c853) once a second of it has played.
//   print.htm                  a band 150 px high whose button calls window.print(), over
//                              a paragraph of text.
std::string BrowserTestPage(const std::string& name, const PageParams& params, const std::string& pageBase);

// The bytes of "browser/file/<name>": the same 200 000 bytes every time, a pattern no
// two offsets of a short stretch share.
std::string BrowserTestFile();

// Escapes text for HTML.
std::string HtmlEscape(const std::string& text);

} // namespace devservice
