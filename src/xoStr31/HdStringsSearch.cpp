// THdStrings: locale search over an index range, the byte comparison of
// entries and the sort index with its samples.
#include "xoStr31/HdStrings.h"

#include "xoStr31/TextMatcher.h"

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
    // The entry at first is compared even when first lies past last.
    return FindMatch(TTextMatcher(s, LocaleFlags(FCompareFlags)), first, std::max(first, last));
}

int THdStrings::FindValue(const platform::TVariant& value, unsigned flags, int first, int last) {
    int kind = value.Kind();
    if (kind != varOleStr && kind != varStrArg && kind != varString) return -1;
    std::string text = value.AsString();
    if (text.empty() || FLastIndex < 0) return -1;
    TTextMatcher matcher(text, LocaleFlags(flags));
    if (first <= last) {
        int from = std::max(first, 0), to = std::min(last, FLastIndex);
        return from <= to ? FindMatch(matcher, from, to) : -1;
    }
    int from = std::min(first, FLastIndex);
    return from >= 0 ? FindMatch(matcher, from, 0) : -1;
}

// The first entry from from to to (either way) that the matcher takes. The
// bytes are read in large blocks and most entries are told apart by their
// length alone, so a search runs near the speed of reading the file.
int THdStrings::FindMatch(const TTextMatcher& matcher, int from, int to, bool* readFailed) {
    if (!FStream) return -1;
    const int step = from <= to ? 1 : -1;
    auto* memory = dynamic_cast<platform::TMemoryStream*>(FStream.get());
    const std::string& text = matcher.Text();
    const int64_t wanted = int64_t(text.size());
    std::vector<char> block;
    int64_t blockStart = 0, blockEnd = 0;
    // The stored bytes [start, start + n), or null when they cannot be read.
    auto bytes = [&](int64_t start, int64_t n) -> const char* {
        if (n == 0) return "";  // an empty line needs no read (and an unread block has no bytes)
        if (memory) return reinterpret_cast<const char*>(memory->Memory()) + start;
        if (start >= blockStart && start + n <= blockEnd) return block.data() + (start - blockStart);
        const int64_t size = std::max<int64_t>(n, 4 << 20);
        blockStart = step > 0 ? start : std::max<int64_t>(0, start + n - size);
        blockEnd = std::min(FUsedSize, blockStart + size);
        block.resize(size_t(blockEnd - blockStart));
        if (!ReadAt(blockStart, block.data(), blockEnd - blockStart)) {
            blockEnd = blockStart;
            if (readFailed) *readFailed = true;
            return nullptr;
        }
        return block.data() + (start - blockStart);
    };
    for (int i = from;; i += step) {
        const int64_t start = EntryStart(i);
        const int64_t n = std::max<int64_t>(0, FEnds[size_t(i)] - start - (IsOpenEnd(i) ? 0 : FSeparatorLength));
        if (matcher.Exact()) {
            // Equal, or (when a text ends at its first zero byte) longer
            // with a zero byte right after the text.
            if (n == wanted || (n > wanted && !matcher.WholeLine())) {
                const char* p = bytes(start, n);
                if (p && (n == wanted || p[wanted] == 0) && std::memcmp(p, text.data(), size_t(wanted)) == 0)
                    return i;
            }
        } else {
            const char* p = bytes(start, n);
            if (p && matcher.Matches(p, size_t(n))) return i;
        }
        if (i == to) return -1;
    }
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

void THdStrings::BuildSortIndex(const std::string&, int, int) { BuildSortIndex(); }

void THdStrings::BuildSortIndex() {
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
            progress = [this](int percent) { ReportProgress(TProgressKind::Sort, percent, 100); };
        ComputeSortIndex(std::move(texts), FSortIndex, samples, &sampleTexts, progress);
        for (size_t k = 0; k < samples.size(); ++k) FSamples->AddObject(sampleTexts[k], samples[k]);
    } catch (...) {
        if (failedAt < 0) failedAt = static_cast<int>(count);
    }
    // The records past a failed entry stay empty, as the walk left them.
    FSortIndex.resize(size_t(FLastIndex + 1));
    if (failedAt >= 0) settings::MsgBox("Rec : " + std::to_string(failedAt));
}

} // namespace xoStr31
