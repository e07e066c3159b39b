#pragma once
// The program's command line: QelBrowser [--private] [URL], --help and
// --version. The toolkit takes its own options (--display and the like)
// out before the rest is read here.
#include <string>
#include <vector>

namespace browser {

struct CommandLine {
    bool help = false;
    bool version = false;
    bool privateMode = false;
    std::string url;    // empty: the home page
    std::string error;  // non-empty: the line is wrong, and why
};

// The arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();

} // namespace browser
