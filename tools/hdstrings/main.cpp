// hdstrings: a command-line front end over the large string list.
#include "HdStringsTool.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return hdstrings::Run(args, std::cout, std::cerr);
}
