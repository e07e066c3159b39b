// One change of a history file in a process of its own, for the tests that
// kill it or starve it of disk at every step:
//   history_edit_child FILE add|title|expire|forget ARG
// Exit 0 done, 1 not done, 3 the file did not open.
#include "platform/MessageBox.h"
#include "places/History.h"

#include <cstdlib>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) return 64;
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>(false));
    places::THistory history(argv[1]);
    if (!history.Open()) return 3;
    const std::string op = argv[2], arg = argv[3];
    bool done = false;
    if (op == "add")
        done = history.AddVisit(arg, "a title\twith a tab", 5000);
    else if (op == "title")
        done = history.SetTitle(arg, "the title that came later");
    else if (op == "expire")
        done = history.RemoveBefore(std::atoll(arg.c_str())) > 0;
    else if (op == "forget")
        done = history.RemoveAddress(arg) > 0;
    return done ? 0 : 1;
}
