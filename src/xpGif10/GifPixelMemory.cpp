#include "xpGif10/GifPixelMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>

// Under AddressSanitizer every buffer comes from the heap, where overruns
// are seen.
#if defined(__SANITIZE_ADDRESS__)
#define QEL_PIXEL_CHUNKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_PIXEL_CHUNKS 0
#endif
#endif
#ifndef QEL_PIXEL_CHUNKS
#define QEL_PIXEL_CHUNKS 1
#endif

namespace xpGif10 {

namespace {

constexpr size_t ChunkSize = size_t(2) << 20;  // one huge page
// Below this a buffer takes a few ordinary pages at most: not worth a chunk.
constexpr size_t SmallBuffer = 16 << 10;
// A fresh chunk costs the system the zeroing of all of it at its first
// fault; below this size the ordinary pages a buffer touches cost less, so a
// smaller buffer takes a chunk only when one already has room for it.
constexpr size_t ChunkWorthy = 1 << 20;
// Each buffer starts with a header naming its chunk (none for heap buffers)
// and its size; 64 keeps the pixels on a cache line of their own.
constexpr size_t HeaderSize = 64;

struct Chunk {
    uint8_t* base;
    size_t size;
    size_t used;
    size_t live;  // buffers cut from it and not freed yet
};

struct Header {
    Chunk* chunk;
    size_t size;
};

std::mutex lock;
Chunk* current = nullptr;
Chunk* spare = nullptr;

// A region aligned to the huge page size, so the system can back it with
// huge pages; where it cannot, it is ordinary memory.
Chunk* MapChunk(size_t size) {
    size_t span = size + ChunkSize;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (start + ChunkSize - 1) & ~uintptr_t(ChunkSize - 1);
    if (aligned > start) munmap(raw, aligned - start);
    size_t tail = start + span - (aligned + size);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
    auto* base = reinterpret_cast<uint8_t*>(aligned);
    madvise(base, size, MADV_HUGEPAGE);
    Chunk* c = new (std::nothrow) Chunk{base, size, 0, 0};
    if (!c) munmap(base, size);
    return c;
}

void UnmapChunk(Chunk* c) {
    munmap(c->base, c->size);
    delete c;
}

// Called with the lock held, for a chunk that no buffer uses any more. One
// empty chunk stays, with its pages, for the next load.
void Retire(Chunk* c) {
    if (c == current) current = nullptr;
    if (!spare && c->size == ChunkSize) {
        c->used = 0;
        spare = c;
    } else {
        UnmapChunk(c);
    }
}

uint8_t* FromChunk(size_t need) {
    std::lock_guard<std::mutex> guard(lock);
    if (!current || current->size - current->used < need) {
        Chunk* next;
        if (need > ChunkSize) {
            next = MapChunk((need + ChunkSize - 1) & ~(ChunkSize - 1));
        } else if (spare) {
            next = spare;
            spare = nullptr;
        } else if (need >= ChunkWorthy) {
            next = MapChunk(ChunkSize);
        } else {
            return nullptr;
        }
        if (!next) return nullptr;
        Chunk* old = current;
        current = next;
        if (old && old->live == 0) Retire(old);
    }
    uint8_t* block = current->base + current->used;
    current->used += need;
    ++current->live;
    *reinterpret_cast<Header*>(block) = Header{current, need};
    return block + HeaderSize;
}

} // namespace

void TGIFPixelDeleter::operator()(uint8_t* pixels) const {
    if (!pixels) return;
    uint8_t* block = pixels - HeaderSize;
    const Header h = *reinterpret_cast<Header*>(block);
    if (!h.chunk) {
        std::free(block);
        return;
    }
    std::lock_guard<std::mutex> guard(lock);
    // The last buffer cut gives its room back at once: a buffer that lives
    // only while a frame is read (the decoder's) leaves no hole behind.
    if (block + h.size == h.chunk->base + h.chunk->used) h.chunk->used -= h.size;
    if (--h.chunk->live == 0) Retire(h.chunk);
}

TGIFPixels NewPixelBuffer(size_t size, bool chunked) {
    size_t need = (size + HeaderSize + 63) & ~size_t(63);
    if (need < size) return nullptr;
    if (QEL_PIXEL_CHUNKS && chunked && size >= SmallBuffer) {
        if (uint8_t* p = FromChunk(need)) return TGIFPixels(p);
    }
    auto* block = static_cast<uint8_t*>(std::malloc(need));
    if (!block) return nullptr;
    *reinterpret_cast<Header*>(block) = Header{nullptr, need};
    return TGIFPixels(block + HeaderSize);
}

} // namespace xpGif10
