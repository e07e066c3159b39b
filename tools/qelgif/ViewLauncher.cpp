// qelgif view runs the window in its own program, qelgif-view beside this
// one, so that the other commands start without loading the toolkit.
#include "GifCommands.h"
#include "platform/Exception.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

namespace qelgif {

int View(const Args& args) {
    if (args.size() != 1) throw UsageError("view takes one FILE");
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string viewer = (self.parent_path() / "qelgif-view").string();
    if (ec || ::access(viewer.c_str(), X_OK) != 0)
        throw platform::Exception("view is not available in this build (it needs GTK)");
    std::vector<char*> argv = {const_cast<char*>(viewer.c_str()), const_cast<char*>(args[0].c_str()), nullptr};
    ::execv(viewer.c_str(), argv.data());
    throw platform::Exception("Cannot start " + viewer);
}

} // namespace qelgif
