#pragma once
// The hdstrings command line run in the test's own process.
#include "HdStringsTool.h"

#include <sstream>
#include <string>
#include <vector>

namespace hdtest {

struct ToolResult {
    int code;
    std::string out;
    std::string err;
};

inline ToolResult Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = hdstrings::Run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace hdtest
