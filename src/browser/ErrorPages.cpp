#include "browser/ErrorPages.h"

#include <gio/gio.h>

namespace browser {

namespace {

const char* kStyle =
    "<style>body{font-family:sans-serif;margin:3em 4em;color:#222;background:#f6f5f2}"
    "h1{font-size:1.5em}code{word-break:break-all}p.why{color:#8a1c1c}"
    "button{font-size:1em;padding:0.4em 1em;margin-top:1em}</style>";

std::string Head(const std::string& title) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) + "</title>" +
           kStyle + "</head><body>";
}

} // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string LoadErrorPage(const std::string& url, const std::string& message) {
    return Head(url) + "<h1>The page cannot be shown</h1><p><code>" + HtmlEscape(url) + "</code></p><p class=\"why\">" +
           HtmlEscape(message) + "</p></body></html>";
}

std::string CertificateProblems(unsigned flags) {
    static const struct {
        unsigned flag;
        const char* text;
    } kProblems[] = {
        {G_TLS_CERTIFICATE_UNKNOWN_CA, "it is not signed by an authority this system trusts"},
        {G_TLS_CERTIFICATE_BAD_IDENTITY, "it was made for another site"},
        {G_TLS_CERTIFICATE_NOT_ACTIVATED, "it is not valid yet"},
        {G_TLS_CERTIFICATE_EXPIRED, "it has expired"},
        {G_TLS_CERTIFICATE_REVOKED, "it has been revoked"},
        {G_TLS_CERTIFICATE_INSECURE, "its algorithm is insecure"},
        {G_TLS_CERTIFICATE_GENERIC_ERROR, "it could not be checked"},
    };
    std::string text;
    for (const auto& p : kProblems) {
        if (!(flags & p.flag)) continue;
        if (!text.empty()) text += "; ";
        text += p.text;
    }
    return text.empty() ? "it could not be checked" : text;
}

std::string CertificateErrorPage(const std::string& url, const std::string& host, const std::string& problems,
                                 const std::string& allowUrl) {
    return Head(url) + "<h1>This site's certificate cannot be trusted</h1><p>The certificate of <b>" +
           HtmlEscape(host) + "</b> is refused: " + HtmlEscape(problems) +
           ".</p><p>Someone may be posing as the site to read what you send it. Nothing of the page has been "
           "loaded.</p><p><code>" + HtmlEscape(url) + "</code></p><form method=\"get\" action=\"" +
           HtmlEscape(allowUrl) + "\"><button id=\"load-anyway\" type=\"submit\">Load this site anyway</button>"
           "</form><p>This lets the certificate through for " + HtmlEscape(host) +
           " until the browser is closed.</p></body></html>";
}

std::string CrashedPage(const std::string& url, const std::string& title, const std::string& why) {
    return Head(title.empty() ? url : title) + "<h1>This page stopped</h1><p class=\"why\">" + HtmlEscape(why) +
           "</p><p><code>" + HtmlEscape(url) + "</code></p><form method=\"get\" action=\"" + HtmlEscape(url) +
           "\" onsubmit=\"location.href=this.action;return false\"><button id=\"reload\" type=\"submit\">"
           "Reload</button></form></body></html>";
}

} // namespace browser
