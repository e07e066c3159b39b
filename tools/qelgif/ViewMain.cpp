// qelgif-view FILE: the window of qelgif view.
#include "GifCommands.h"
#include "xpGif10/GifUnit.h"

#include <iostream>

int main(int argc, char** argv) {
    xpGif10::GifUnit unit;
    try {
        return qelgif::View(qelgif::Args(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
