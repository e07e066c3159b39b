#include "common/ToolFiles.h"

#include "platform/Exception.h"
#include "platform/SafeSave.h"
#include "platform/Streams.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tools {

std::vector<uint8_t> ReadInput(const std::string& name) {
    if (IsStdStream(name)) return platform::ReadDescriptor(STDIN_FILENO, "standard input");
    return platform::ReadAllBytes(name);
}

void WriteOutput(const std::string& name, const void* data, size_t size) {
    if (!IsStdStream(name)) return platform::WriteWholeFile(name, data, size);
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(STDOUT_FILENO, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw platform::EWriteError(std::string("Cannot write to standard output: ") + std::strerror(errno));
        p += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace tools
