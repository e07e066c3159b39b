#include "browser/CommandLine.h"

#ifndef QEL_VERSION
#define QEL_VERSION "0"
#endif

namespace browser {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    bool optionsEnd = false;
    for (const std::string& arg : args) {
        if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (arg == "--help" || arg == "-h")) {
            line.help = true;
        } else if (!optionsEnd && (arg == "--version" || arg == "-V")) {
            line.version = true;
        } else if (!optionsEnd && arg == "--private") {
            line.privateMode = true;
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            line.error = "unknown option " + arg;
        } else if (line.url.empty()) {
            line.url = arg;
        } else {
            line.error = "one address only (" + line.url + " and " + arg + ")";
        }
        if (!line.error.empty()) break;
    }
    return line;
}

std::string UsageText() {
    return "Usage: QelBrowser [--private] [URL]\n"
           "A small web browser. Opens URL, or the home page when none is given.\n"
           "\n"
           "  --private   keep no cookies, site data, cache or settings on disk\n"
           "  --help      show this text and end\n"
           "  --version   show the version and end\n"
           "\n"
           "Cookies and site data: $XDG_DATA_HOME/QelBrowser/ (else ~/.local/share/QelBrowser/)\n"
           "Cache: $XDG_CACHE_HOME/QelBrowser/ (else ~/.cache/QelBrowser/)\n"
           "Downloads: the XDG download folder (else ~/Downloads/)\n";
}

std::string VersionText() { return std::string("QelBrowser ") + QEL_VERSION + "\n"; }

} // namespace browser
