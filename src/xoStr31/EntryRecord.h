#pragma once
// One entry of a large string list: where its bytes end in the stream, and
// the 14-byte packed little-endian form it has in memory images and in
// entry-table files. The form is written and read field by field so that the
// files are the same on every machine.
#include <cstdint>

namespace xoStr31 {

constexpr int EntryRecordSize = 14;
// Records of tables for files past 2 GiB: the same fields with an 8-byte End.
constexpr int WideEntryRecordSize = 18;
// Flags bit 0: no separator follows the entry's text (only the last entry).
constexpr uint8_t efNoSeparator = 0x01;

struct TEntry {
    int64_t End = 0;        // stream offset just past the entry (and its separator)
    uint8_t Flags = 0;
    uint8_t Reserved1 = 0;  // kept so that entry tables round-trip byte for byte
    uint16_t Reserved2 = 0;
    uint16_t Reserved3 = 0;
    uint32_t Object = 0;    // the attached object, 0 for none
};

inline void EncodeEntry(const TEntry& e, uint8_t* out) {
    uint32_t end = static_cast<uint32_t>(e.End);
    out[0] = uint8_t(end);
    out[1] = uint8_t(end >> 8);
    out[2] = uint8_t(end >> 16);
    out[3] = uint8_t(end >> 24);
    out[4] = e.Flags;
    out[5] = e.Reserved1;
    out[6] = uint8_t(e.Reserved2);
    out[7] = uint8_t(e.Reserved2 >> 8);
    out[8] = uint8_t(e.Reserved3);
    out[9] = uint8_t(e.Reserved3 >> 8);
    out[10] = uint8_t(e.Object);
    out[11] = uint8_t(e.Object >> 8);
    out[12] = uint8_t(e.Object >> 16);
    out[13] = uint8_t(e.Object >> 24);
}

// The wide form: End in 8 bytes, then the other fields in the same order.
inline void EncodeWideEntry(const TEntry& e, uint8_t* out) {
    uint64_t end = static_cast<uint64_t>(e.End);
    for (int i = 0; i < 8; ++i) out[i] = uint8_t(end >> (8 * i));
    TEntry rest = e;
    rest.End = 0;
    uint8_t narrow[EntryRecordSize];
    EncodeEntry(rest, narrow);
    for (int i = 4; i < EntryRecordSize; ++i) out[i + 4] = narrow[i];
}

inline uint32_t ReadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline TEntry DecodeEntry(const uint8_t* in) {
    TEntry e;
    e.End = static_cast<int32_t>(ReadLE32(in));
    e.Flags = in[4];
    e.Reserved1 = in[5];
    e.Reserved2 = static_cast<uint16_t>(in[6] | in[7] << 8);
    e.Reserved3 = static_cast<uint16_t>(in[8] | in[9] << 8);
    e.Object = ReadLE32(in + 10);
    return e;
}

inline TEntry DecodeWideEntry(const uint8_t* in) {
    uint8_t narrow[EntryRecordSize] = {};
    for (int i = 4; i < EntryRecordSize; ++i) narrow[i] = in[i + 4];
    TEntry e = DecodeEntry(narrow);
    e.End = static_cast<int64_t>(uint64_t(ReadLE32(in)) | uint64_t(ReadLE32(in + 4)) << 32);
    return e;
}

} // namespace xoStr31
