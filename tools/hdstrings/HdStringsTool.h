#pragma once
// The hdstrings command line, apart from the process: arguments in, text
// out, an exit code back. Works on a text file in place (storage mode 2).
#include <ostream>
#include <string>
#include <vector>

namespace hdstrings {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace hdstrings
