#pragma once
// How qelgif reads and writes files: "-" is standard input or output, pipes
// and FIFOs are read to their end, outputs go through the safe whole-file
// save (a pipe or device as output is refused), and nothing larger than the
// output limit is made without --force. Long loads and saves show a
// progress bar on standard error when it is a terminal.
#include "platform/Graphics.h"
#include "platform/Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelgif {

// The most output (or memory for one picture) a command makes without
// --force: 1 GiB.
constexpr uint64_t OutputLimit = uint64_t(1) << 30;

// Set by --force: the output limit is not enforced.
void SetForce(bool force);

// The whole content of path, or of standard input for "-".
std::vector<uint8_t> ReadInput(const std::string& path);

// A stream that reads path (a regular file) through a buffer as it is
// asked, keeping little of it in memory; for anything else (standard input,
// a pipe) the whole content read first.
std::shared_ptr<platform::TStream> OpenInput(const std::string& path);

// Replaces path's content, or writes standard output for "-". A FIFO,
// device or other special file is refused with the reason.
void WriteOutput(const std::string& path, const void* data, size_t size);

// Raises an error naming what and the size when bytes pass the limit and
// --force was not given; commands call it before they start the work.
void CheckSize(uint64_t bytes, const std::string& what);

// Shows the picture's load and save progress on standard error when that
// is a terminal.
void ShowProgress(platform::TGraphic& graphic);

// Whether the name ends in the extension (".png"), in any case.
bool HasExtension(const std::string& path, const std::string& extension);

} // namespace qelgif
