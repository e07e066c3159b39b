#pragma once
// Little-endian fields of the byte layouts the program reads and writes
// (bitmap headers, entry records, journals): read and written a byte at a
// time, so that no layout depends on the machine or on struct packing.
#include <cstdint>
#include <vector>

namespace platform {

inline uint16_t GetLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t GetLe64(const uint8_t* p) { return uint64_t(GetLe32(p)) | uint64_t(GetLe32(p + 4)) << 32; }

inline void SetLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void SetLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void SetLe64(uint8_t* p, uint64_t v) {
    SetLe32(p, uint32_t(v));
    SetLe32(p + 4, uint32_t(v >> 32));
}

inline void AppendLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void AppendLe64(std::vector<uint8_t>& out, uint64_t v) {
    AppendLe32(out, uint32_t(v));
    AppendLe32(out, uint32_t(v >> 32));
}

} // namespace platform
