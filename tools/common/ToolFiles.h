#pragma once
// Input and output files of the command-line tools: "-" stands for standard
// input or output, anything else is a path used exactly as given.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

inline bool IsStdStream(const std::string& name) { return name == "-"; }

// The whole input: standard input for "-"; a file, pipe or FIFO is read to
// its end. Raises EFOpenError or EReadError with the name and the reason.
std::vector<uint8_t> ReadInput(const std::string& name);

// The whole output: standard output for "-"; a file goes through the safe
// whole-file save (symlinks followed, mode and owner kept, special files and
// read-only files refused). Raises EFCreateError or EWriteError.
void WriteOutput(const std::string& name, const void* data, size_t size);

} // namespace tools
