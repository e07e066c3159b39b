#include "settings/ListMerge.h"

#include "platform/SysUtils.h"

#include <unordered_set>

namespace settings {

std::vector<std::string> MergeLists(const std::vector<std::string>& ours, const std::vector<std::string>& readAtStart,
                                    const std::vector<std::string>& onDiskNow) {
    std::unordered_set<std::string> known;
    for (const auto& s : ours) known.insert(platform::UpperCase(s));
    for (const auto& s : readAtStart) known.insert(platform::UpperCase(s));
    std::vector<std::string> merged = ours;
    for (const auto& s : onDiskNow)
        if (known.insert(platform::UpperCase(s)).second) merged.push_back(s);
    return merged;
}

} // namespace settings
