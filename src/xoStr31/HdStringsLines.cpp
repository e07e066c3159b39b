// THdStrings: entries as whole lines, every byte up to the line end, for
// the command line: reading one, finding one and sorting them all in a
// total order. Failed reads raise, since a line that could not be read is
// no answer.
#include "xoStr31/HdStrings.h"

#include "xoStr31/DataFile.h"
#include "xoStr31/TextMatcher.h"

#include "platform/Exception.h"
#include "platform/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace xoStr31 {

namespace {

// The system's reason goes with it, from the read that just failed.
platform::EReadError ReadFailure(const std::string& file) {
    const int code = errno;
    std::string text = (file.empty() ? std::string("the list") : file) + ": cannot be read";
    if (code != 0) text += " (" + ErrorText(code) + ")";
    return platform::EReadError(text);
}

} // namespace

std::string THdStrings::GetLine(int index) {
    if (index < 0 || index > FLastIndex)
        throw platform::EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    if (!FStream) throw ReadFailure(FFileName);
    const int64_t start = EntryStart(index);
    const int64_t length = std::max<int64_t>(0, FEnds[size_t(index)] - start - (IsOpenEnd(index) ? 0 : FSeparatorLength));
    std::string text(size_t(length), '\0');
    errno = 0;
    if (!ReadAt(start, text.data(), length)) throw ReadFailure(FFileName);
    return text;
}

int THdStrings::FindLine(const std::string& text, unsigned flags, int first, int last) {
    if (first < 0) first = 0;
    if (last < 0 || last > FLastIndex) last = FLastIndex;
    if (first > last) return -1;
    bool readFailed = false;
    errno = 0;
    const int found = FindMatch(TTextMatcher(text, flags, true), first, last, &readFailed);
    // A line that could not be read might have been the one.
    if (readFailed) throw ReadFailure(FFileName);
    return found;
}

std::vector<int32_t> THdStrings::SortLines(TTextOrder order) {
    const size_t count = size_t(FLastIndex + 1);
    if (count == 0) return {};
    if (!FStream) throw ReadFailure(FFileName);
    // Each line's end (its separator's first byte, or the end) becomes the
    // zero byte the collation stops at, so the lines need no copy of their
    // own.
    std::vector<char> bytes(size_t(FUsedSize) + 1, '\0');
    const int64_t block = 4 << 20;
    for (int64_t got = 0; got < FUsedSize;) {
        const int64_t n = std::min(block, FUsedSize - got);
        if (!ReadAt(got, bytes.data() + got, n)) throw ReadFailure(FFileName);
        got += n;
    }
    std::vector<TLineSpan> lines(count);
    for (size_t i = 0; i < count; ++i) {
        const int64_t start = EntryStart(int(i));
        const int64_t length =
            std::max<int64_t>(0, FEnds[i] - start - (IsOpenEnd(int(i)) ? 0 : FSeparatorLength));
        lines[i] = {start, length};
        bytes[size_t(start + length)] = '\0';
    }
    std::function<void(int)> progress;
    if (OnProgress) progress = [this](int percent) { ReportProgress(TProgressKind::Sort, percent, 100); };
    return xoStr31::SortLines(bytes.data(), lines, order, progress);
}

} // namespace xoStr31
