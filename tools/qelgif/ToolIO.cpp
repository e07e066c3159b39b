// qelgif's file access: standard streams, pipes, the safe save and the
// output limit.
#include "ToolIO.h"
#include "platform/Exception.h"
#include "common/ProgressBar.h"
#include "common/ToolFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <strings.h>

namespace qelgif {

namespace {

bool force = false;

} // namespace

void SetForce(bool value) { force = value; }

std::vector<uint8_t> ReadInput(const std::string& path) {
    if (path != "-") {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw platform::Exception("Cannot read " + path + ": it is a folder");
    }
    std::vector<uint8_t> data = tools::ReadInput(path);
    CheckSize(data.size(), path == "-" ? "standard input" : path);
    return data;
}

void WriteOutput(const std::string& path, const void* data, size_t size) {
    CheckSize(size, path == "-" ? "standard output" : path);
    struct stat st {};
    if (path != "-" && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw platform::Exception("Cannot write " + path + ": " +
                                  (S_ISDIR(st.st_mode) ? "it is a folder"
                                                       : "it is not a regular file (a pipe or device); use - for "
                                                         "standard output"));
    tools::WriteOutput(path, data, size);
}

void CheckSize(uint64_t bytes, const std::string& what) {
    if (bytes > OutputLimit && !force)
        throw platform::Exception(what + " would take " + std::to_string(bytes) +
                                  " bytes, more than the 1 GiB limit (use --force to go on)");
}

void ShowProgress(platform::TGraphic& graphic) {
    // The bar draws only on a terminal and only for work that lasts.
    auto bar = std::make_shared<std::unique_ptr<tools::TProgressBar>>();
    graphic.OnProgress = [bar](platform::TGraphic*, platform::TProgressStage stage, int percent, bool,
                               const platform::TRect&, const std::string& message) {
        if (stage == platform::TProgressStage::psStarting) *bar = std::make_unique<tools::TProgressBar>(message);
        if (!*bar) return;
        if (stage == platform::TProgressStage::psEnding)
            bar->reset();
        else
            (*bar)->Update(percent / 100.0);
    };
}

bool HasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    return strcasecmp(path.c_str() + path.size() - extension.size(), extension.c_str()) == 0;
}

} // namespace qelgif
