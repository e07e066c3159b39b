#pragma once
// Memory for frame pixel buffers and for the decoder's work space.
//
// A fresh page costs the system a fault the first time it is written, and on
// virtual machines that fault costs far more than decoding the pixels that
// fill it. So buffers of 1 MiB and more are cut from shared chunks of 2 MiB
// that the system may back with huge pages (one fault per chunk instead of
// one per 4 KiB), and so are buffers of a few pages and more while a chunk
// has room for them: a fresh huge page is zeroed whole at its first fault,
// which costs more than the ordinary pages of a smaller buffer. A chunk goes
// back to the system when its last buffer is freed; one empty chunk is kept
// for the next load. Small buffers come from the ordinary heap.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace xpGif10 {

struct TGIFPixelDeleter {
    void operator()(uint8_t* pixels) const;
};
using TGIFPixels = std::unique_ptr<uint8_t[], TGIFPixelDeleter>;

// A buffer of size bytes (not filled), or null when no memory is left. With
// chunked false it comes from the heap whatever its size: for work memory
// that goes with a small frame, of which only a few pages are touched.
TGIFPixels NewPixelBuffer(size_t size, bool chunked = true);

} // namespace xpGif10
