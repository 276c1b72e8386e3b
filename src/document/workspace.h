// The memory one thread keeps from call to call, so that the next document
// lands in pages that are already mapped: spare arena chunks and text
// buffers (together at most kWorkspaceBytes), a code-point buffer for hosts
// that transcode, and the hash index that builds large objects.
//
// Each thread's workspace is made on first use and freed at thread exit. A
// call made during thread teardown, after the workspace is gone, finds none:
// it allocates afresh and frees what it holds, so nothing is kept.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "core/position_index.h"

namespace plomet {

// What one thread keeps between calls, at most: spare arena chunks and text
// buffers together.
inline constexpr std::size_t kWorkspaceBytes = std::size_t{32} << 20;

// Code points in the transcoding buffer: 64 KiB.
inline constexpr std::size_t kTranscodingCodePoints = std::size_t{1} << 14;

// An empty string with room for capacity bytes, made from a buffer that this
// thread handed back earlier when there is one. The repair driver writes
// several texts of the input's size per call, and fresh memory costs a page
// fault per page.
std::string take_text_buffer(std::size_t capacity);
// Hands a buffer back for take_text_buffer; the thread's workspace keeps it
// while it stays within kWorkspaceBytes. Never throws: a buffer that cannot
// be kept is freed.
void recycle_text_buffer(std::string&& buffer) noexcept;

// A block of memory of an arena.
struct ArenaChunk {
  std::unique_ptr<std::byte[]> bytes;
  std::size_t size = 0;
};

// The largest spare chunk of at least `bytes`, or an empty chunk.
ArenaChunk take_spare_chunk(std::size_t bytes);
// Keeps the chunk for take_spare_chunk while the workspace stays within
// kWorkspaceBytes. Never throws: a chunk that cannot be kept is freed.
void give_spare_chunk(ArenaChunk&& chunk) noexcept;

// The thread's kTranscodingCodePoints code points, or an empty span when
// they cannot be had (out of memory, thread teardown).
std::span<char32_t> transcoding_buffer();

// The thread's index for building objects, emptied for `expected` keys, or
// nullptr during thread teardown. Objects are built one at a time.
PositionIndex* key_index(std::size_t expected);

}  // namespace plomet
