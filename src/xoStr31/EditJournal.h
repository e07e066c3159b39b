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
// journal is removed (or, when it cannot be, voided whole).
//
// A process stopped on the way (a kill, a power cut, a failed write) leaves
// the journal; Recover, run by the next open, checks that the file is still
// the one the edit left (same file, size, and bytes where it can tell) and
// then brings it to one of the two contents: an edit whose tail had not started to move is undone (the
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

    // The journal beside the file itself (links resolved): FILE-journal, or
    // for a name too long for that a shorter one derived from it.
    static std::string NameFor(const std::string& dataFile);
    static bool Exists(const std::string& dataFile);

    // The file must be open for writing and hold exactly the content (no
    // bytes past it). pieceLimit bounds the bytes moved per piece; buffer is
    // reused across edits.
    static TOutcome Replace(TDataFile& file, int64_t at, int64_t oldLength, const void* bytes, int64_t length,
                            int64_t pieceLimit, std::vector<uint8_t>& buffer, const TProgress& progress,
                            std::string& error);

    enum class TRecovery {
        Clean,   // no journal is left (also when there was none)
        Kept,    // the journal does not fit the file as it is now: both left as they are (error says why)
        Failed   // it could not be applied (error says why; it stays)
    };
    // Brings back to one content a file whose edit was stopped, when the
    // file is still exactly as the edit left it. anyDevice: the user says
    // the file is the same on a device numbered anew (a disk plugged in
    // again); inode, sizes and bytes must still fit.
    static TRecovery Recover(TDataFile& file, std::string& error, bool anyDevice = false);
    // For a reader that may not finish the edit: whether the file still
    // holds its old content whole (no journal, or nothing moved yet).
    static bool Untouched(TDataFile& file, std::string& error);
    // Drops the journal, leaving the file as it is.
    static bool Discard(const std::string& dataFile, std::string& error);
};

} // namespace xoStr31
