// THdStrings: locale search over an index range, the byte comparison of
// entries and the sort index with its samples.
#include "xoStr31/HdStrings.h"

#include "platform/System.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>

namespace xoStr31 {

namespace {

// Locale comparison flags this platform can honour; the others are kept
// in CompareFlags but have no meaning for single-byte text here.
unsigned LocaleFlags(uint32_t flags) {
    return flags & (platform::NORM_IGNORECASE | platform::NORM_IGNORENONSPACE | platform::NORM_IGNORESYMBOLS);
}

constexpr int varOleStr = 8;
constexpr int varStrArg = 72;
constexpr int varString = 256;

} // namespace

int THdStrings::CompareEntries(std::string_view a, std::string_view b, unsigned flags) {
    return CompareEntryTexts(a, b, flags);
}

int THdStrings::IndexOfRange(const std::string& s, int first, int last) {
    if (s.empty()) return -1;
    if (first < 0) first = 0;
    if (last < 0 || last > FLastIndex) last = FLastIndex;
    if (first > FLastIndex) return -1;
    unsigned flags = LocaleFlags(FCompareFlags);
    int i = first;
    do {
        if (platform::CompareString(flags, s, Get(i)) == 2) return i;
        ++i;
    } while (i <= last);
    return -1;
}

int THdStrings::FindValue(const platform::TVariant& value, unsigned flags, int first, int last) {
    int kind = value.Kind();
    if (kind != varOleStr && kind != varStrArg && kind != varString) return -1;
    std::string text = value.AsString();
    if (text.empty() || FLastIndex < 0) return -1;
    unsigned locale = LocaleFlags(flags);
    if (first <= last) {
        int from = std::max(first, 0);
        int to = std::min(last, FLastIndex);
        for (int i = from; i <= to; ++i)
            if (platform::CompareString(locale, text, Get(i)) == 2) return i;
    } else {
        for (int i = std::min(first, FLastIndex); i >= 0; --i)
            if (platform::CompareString(locale, text, Get(i)) == 2) return i;
    }
    return -1;
}

// Reads the used bytes once and cuts them into the texts Get would answer
// (each up to its first zero byte). failedAt is the first entry that could
// not be read, or -1.
bool THdStrings::ReadAllTexts(std::string& bytes, std::vector<std::string_view>& texts, int& failedAt) {
    failedAt = -1;
    texts.clear();
    bytes.clear();
    if (FLastIndex < 0) return true;
    if (!FStream) {
        failedAt = 0;
        return false;
    }
    bytes.resize(static_cast<size_t>(FUsedSize));
    const int64_t block = 4 << 20;
    int64_t got = 0;
    while (got < FUsedSize) {
        int64_t n = std::min(block, FUsedSize - got);
        if (!ReadAt(got, bytes.data() + got, n)) break;
        got += n;
    }
    texts.reserve(size_t(FLastIndex + 1));
    int64_t start = 0;
    for (int i = 0; i <= FLastIndex; ++i) {
        const int64_t end = FEnds[size_t(i)];
        if (end > got) {
            failedAt = i;
            return false;
        }
        int64_t length = end - start - (IsOpenEnd(i) ? 0 : FSeparatorLength);
        if (length < 1) {
            texts.emplace_back();
        } else {
            const char* p = bytes.data() + start;
            const void* zero = std::memchr(p, 0, static_cast<size_t>(length));
            size_t n = zero ? size_t(static_cast<const char*>(zero) - p) : size_t(length);
            texts.emplace_back(p, n);
        }
        start = end;
    }
    return true;
}

void THdStrings::Sort() { BuildSortIndex("", -1, -1); }

void THdStrings::BuildSortIndex(const std::string&, int, int) {
    if (FSamples)
        FSamples->Clear();
    else
        FSamples = std::make_unique<platform::TStringList>();
    FSortIndex.assign(size_t(FLastIndex + 1), TSortRecord{});

    // Every text is read once and compared in memory.
    std::string bytes;
    std::vector<std::string_view> texts;
    int failedAt = -1;
    try {
        ReadAllTexts(bytes, texts, failedAt);
        if (failedAt >= 0) texts.resize(size_t(failedAt));
        std::vector<TSortRecord> records;
        std::vector<int32_t> samples;
        FLastSortFast = ComputeSortIndex(texts, records, samples);
        std::copy(records.begin(), records.end(), FSortIndex.begin());
        for (int32_t j : samples) FSamples->AddObject(std::string(texts[size_t(j)]), j);
    } catch (...) {
        if (failedAt < 0) failedAt = static_cast<int>(texts.size());
    }
    if (failedAt >= 0) settings::MsgBox("Rec : " + std::to_string(failedAt));
}

} // namespace xoStr31
