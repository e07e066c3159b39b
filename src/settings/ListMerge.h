#pragma once
// Two windows of the program that exit one after the other both load the
// settings file at start and write their URL list back at exit: the later
// one would drop what the earlier one added. The later one therefore merges
// under the settings file's lock.
#include <string>
#include <vector>

namespace settings {

// The list to write: ours as it stands (most recent first, so what this
// window shows comes first), then the entries the file gained since we read
// it (on disk now, not in what we read at start), in their order. An entry
// we dropped since the start (the list's cut to 50) stays dropped; entries
// match as the URL list matches them, whole texts without regard to case.
std::vector<std::string> MergeLists(const std::vector<std::string>& ours, const std::vector<std::string>& readAtStart,
                                    const std::vector<std::string>& onDiskNow);

} // namespace settings
