#include "xoStr31/SortTexts.h"

#include <cstring>

namespace xoStr31 {

void TSortTexts::PushEnd(size_t end) {
    while ((end >> 32) > FWraps.size()) FWraps.push_back(FEnds.size());
    FEnds.push_back(static_cast<uint32_t>(end));
}

void TSortTexts::Add(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    FBytes.resize(FUsed);
    FBytes.append(text);
    FBytes.push_back('\0');
    FUsed = FBytes.size();
    PushEnd(FUsed);
}

char* TSortTexts::Buffer(size_t size, size_t texts) {
    FEnds.clear();
    FEnds.reserve(texts);
    FWraps.clear();
    FUsed = 0;
    FBytes.assign(size + 1, '\0');  // room for the last text's zero
    return FBytes.data();
}

void TSortTexts::Cut(size_t from, size_t length) {
    const char* text = FBytes.data() + from;
    const void* zero = std::memchr(text, 0, length);
    if (zero) length = size_t(static_cast<const char*>(zero) - text);
    if (from != FUsed && length) std::memmove(FBytes.data() + FUsed, text, length);
    FUsed += length;
    FBytes[FUsed++] = '\0';
    PushEnd(FUsed);
}

void TSortTexts::Truncate(size_t count) {
    if (count >= FEnds.size()) return;
    FEnds.resize(count);
    while (!FWraps.empty() && FWraps.back() >= count) FWraps.pop_back();
    FUsed = count ? End(count - 1) : 0;
}

void TSortTexts::ReleaseTable() {
    std::vector<uint32_t>().swap(FEnds);
    std::vector<size_t>().swap(FWraps);
}

} // namespace xoStr31
