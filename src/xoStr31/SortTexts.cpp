#include "xoStr31/SortTexts.h"

#include <cstring>

namespace xoStr31 {

void TSortTexts::Reserve(size_t texts, size_t bytes) {
    FEnds.reserve(texts);
    FBytes.reserve(bytes);
}

void TSortTexts::PushEnd(size_t end) {
    while ((end >> 32) > FWraps.size()) FWraps.push_back(FEnds.size());
    FEnds.push_back(static_cast<uint32_t>(end));
}

void TSortTexts::Add(std::string_view text) {
    FBytes.resize(FUsed);
    FBytes.append(text);
    FUsed += text.size();
    PushEnd(FUsed);
}

char* TSortTexts::Buffer(size_t size) {
    FEnds.clear();
    FWraps.clear();
    FUsed = 0;
    FBytes.assign(size, '\0');
    return FBytes.data();
}

void TSortTexts::Cut(size_t from, size_t length) {
    if (from != FUsed && length) std::memmove(FBytes.data() + FUsed, FBytes.data() + from, length);
    FUsed += length;
    PushEnd(FUsed);
}

void TSortTexts::Truncate(size_t count) {
    if (count >= FEnds.size()) return;
    FEnds.resize(count);
    while (!FWraps.empty() && FWraps.back() >= count) FWraps.pop_back();
    FUsed = count ? End(count - 1) : 0;
}

void TSortTexts::Release() {
    std::string().swap(FBytes);
    std::vector<uint32_t>().swap(FEnds);
    std::vector<size_t>().swap(FWraps);
    FUsed = 0;
}

} // namespace xoStr31
