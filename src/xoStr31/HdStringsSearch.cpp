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

// Reads the used bytes once and keeps the texts Get would answer (each up
// to its first zero byte) back to back in them. failedAt is the first
// entry that could not be read, or -1.
bool THdStrings::ReadAllTexts(TSortTexts& texts, int& failedAt) {
    failedAt = -1;
    if (FLastIndex < 0) {
        texts.Buffer(0, 0);
        return true;
    }
    if (!FStream) {
        texts.Buffer(0, 0);
        failedAt = 0;
        return false;
    }
    char* bytes = texts.Buffer(static_cast<size_t>(FUsedSize), size_t(FLastIndex + 1));
    const int64_t block = 4 << 20;
    int64_t got = 0;
    while (got < FUsedSize) {
        int64_t n = std::min(block, FUsedSize - got);
        if (!ReadAt(got, bytes + got, n)) break;
        got += n;
    }
    int64_t start = 0;
    for (int i = 0; i <= FLastIndex; ++i) {
        const int64_t end = FEnds[size_t(i)];
        if (end > got) {
            failedAt = i;
            return false;
        }
        const int64_t length = std::max<int64_t>(end - start - (IsOpenEnd(i) ? 0 : FSeparatorLength), 0);
        texts.Cut(static_cast<size_t>(start), static_cast<size_t>(length));
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
    std::vector<TSortRecord>().swap(FSortIndex);

    // Every text is read once and compared in memory.
    TSortTexts texts;
    int failedAt = -1;
    size_t count = 0;
    try {
        ReadAllTexts(texts, failedAt);
        if (failedAt >= 0) texts.Truncate(size_t(failedAt));
        count = texts.Count();
        std::vector<int32_t> samples;
        std::vector<std::string> sampleTexts;
        std::function<void(int)> progress;
        if (OnProgress)
            progress = [this](int percent) {
                FProgress = static_cast<uint8_t>(percent);
                OnProgress(this);
            };
        ComputeSortIndex(std::move(texts), FSortIndex, samples, &sampleTexts, progress);
        FLastSortFast = true;
        for (size_t k = 0; k < samples.size(); ++k) FSamples->AddObject(sampleTexts[k], samples[k]);
    } catch (...) {
        if (failedAt < 0) failedAt = static_cast<int>(count);
    }
    // The records past a failed entry stay empty, as the walk left them.
    FSortIndex.resize(size_t(FLastIndex + 1));
    if (failedAt >= 0) settings::MsgBox("Rec : " + std::to_string(failedAt));
}

} // namespace xoStr31
