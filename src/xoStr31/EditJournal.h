#pragma once
// TEditJournal: one in-place edit of a data file, whole or not at all.
//
// An edit replaces the bytes [At, At + OldLength) with new bytes and moves
// everything after them by the difference. Before any byte of the file
// changes, a journal beside it ("FILE-journal") records the edit and is
// synced; growth is reserved on the disk first, so a full disk stops the
// edit before anything moved. The tail then moves in pieces; each piece's
// bytes go to the journal (four slots, used in turn, each with a checksum)
// and are synced before the piece is written to its new place; the file is
// synced before a slot is used again, and once more at the end, when the
// journal is removed.
//
// A process stopped on the way (a kill, a power cut, a failed write) leaves
// the journal; Recover, run by the next open, brings the file to one of the
// two contents: an edit whose tail had not started to move is undone (the
// file cut back to its old size); one whose tail was moving is finished from
// the last piece the journal holds. Undoing a half-moved tail instead would
// need a copy of the whole tail: the size of the file again, for a line
// inserted at the front of a big file.
#include "xoStr31/DataFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace xoStr31 {

class TEditJournal {
public:
    enum class TOutcome {
        Done,       // the file holds the new content
        Unchanged,  // the file holds the old content (error says why)
        Pending     // neither yet: the journal stays for the next open (error says why)
    };
    // Bytes done of the bytes to move, while the tail moves.
    using TProgress = std::function<void(int64_t done, int64_t total)>;

    static std::string NameFor(const std::string& dataFile) { return dataFile + "-journal"; }
    static bool Exists(const std::string& dataFile);

    // The file must be open for writing and hold exactly the content (no
    // bytes past it). pieceLimit bounds the bytes moved per piece; buffer is
    // reused across edits.
    static TOutcome Replace(TDataFile& file, int64_t at, int64_t oldLength, const void* bytes, int64_t length,
                            int64_t pieceLimit, std::vector<uint8_t>& buffer, const TProgress& progress,
                            std::string& error);

    // Brings back to one content a file whose edit was stopped. True when no
    // journal is left (also when there was none); false with error when the
    // journal cannot be applied (it then stays).
    static bool Recover(TDataFile& file, std::string& error);
};

} // namespace xoStr31
