#include "filters/BlockerRules.h"

namespace filters {

std::string JsonString(const std::string& text) {
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

namespace {

void AppendList(const char* name, const std::vector<std::string>& items, std::string& out) {
    out += ",\"";
    out += name;
    out += "\":[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        out += JsonString(items[i]);
    }
    out += ']';
}

} // namespace

std::string RulesToJson(const std::vector<TBlockerRule>& rules) {
    std::string out = "[";
    for (size_t i = 0; i < rules.size(); ++i) {
        const TBlockerRule& r = rules[i];
        out += i ? ",\n" : "\n";
        out += "{\"trigger\":{\"url-filter\":" + JsonString(r.UrlFilter);
        if (r.CaseSensitive) out += ",\"url-filter-is-case-sensitive\":true";
        if (!r.ResourceTypes.empty()) AppendList("resource-type", r.ResourceTypes, out);
        if (!r.LoadType.empty()) AppendList("load-type", {r.LoadType}, out);
        if (!r.LoadContext.empty()) AppendList("load-context", {r.LoadContext}, out);
        if (!r.IfDomain.empty()) AppendList("if-domain", r.IfDomain, out);
        if (!r.UnlessDomain.empty()) AppendList("unless-domain", r.UnlessDomain, out);
        out += "},\"action\":{\"type\":" + JsonString(r.Action);
        if (!r.Selector.empty()) out += ",\"selector\":" + JsonString(r.Selector);
        out += "}}";
    }
    return out + "\n]\n";
}

} // namespace filters
