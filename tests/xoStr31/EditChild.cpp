// One edit of a large string list in a process of its own, for the tests
// that kill it or starve it of disk at every step:
//   hdstrings_edit_child FILE insert|put|delete N TEXT PIECE-BYTES
// Exit 0 done, 1 not done with the file as it was, 2 not done with the
// edit left for the next open, 3 the file did not open.
#include "platform/MessageBox.h"
#include "xoStr31/HdStrings.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    if (argc != 6) return 64;
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>(false));
    const std::string op = argv[2];
    const int n = std::atoi(argv[3]);
    xoStr31::THdStrings list;
    list.SetParam(0, 2);
    list.SetMoveLimit(std::atoll(argv[5]));
    if (!list.Open(argv[1], false)) return 3;
    const int count = list.GetCount();
    if (op == "insert")
        list.InsertItem(n, argv[4], 0);
    else if (op == "put")
        list.Put(n, argv[4]);
    else
        list.Delete(n);
    if (!list.IoError() && list.GetCount() == count + (op == "insert") - (op == "delete")) return 0;
    std::cerr << list.LastError() << "\n";
    return list.Stream() ? 1 : 2;
}
