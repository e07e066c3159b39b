#pragma once
// The pages the program shows in place of one that could not be shown: a
// load that failed, and a site whose certificate cannot be trusted. Every
// text from outside (address, host, engine message) is escaped.
#include <string>

namespace browser {

// The text with &, <, >, " and ' written as character references.
std::string HtmlEscape(const std::string& text);

// Titled with the address, so that the caption keeps it.
std::string LoadErrorPage(const std::string& url, const std::string& message);

// Why a certificate is not trusted, from the TLS library's flags: one
// phrase per problem, joined by "; ".
std::string CertificateProblems(unsigned flags);

// Names the host and the problems; its one button asks for allowUrl,
// which lets the certificate through for this host.
std::string CertificateErrorPage(const std::string& url, const std::string& host, const std::string& problems,
                                 const std::string& allowUrl);

// A page whose web process ended: titled like the page it stands in for,
// so that the caption stays; says why and offers to load the page again.
std::string CrashedPage(const std::string& url, const std::string& title, const std::string& why);

} // namespace browser
