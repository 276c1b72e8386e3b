#include "document/workspace.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace plomet {
namespace {

// Makes room for one more element without moving the elements; false when
// the memory cannot be had.
template <class T>
bool room_for_one_more(std::vector<T>& items) noexcept {
  if (items.size() < items.capacity()) return true;
  try {
    items.reserve(std::max<std::size_t>(8, 2 * items.capacity()));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

class Workspace {
 public:
  ArenaChunk take_chunk(std::size_t bytes) {
    auto best = chunks_.end();
    for (auto it = chunks_.begin(); it != chunks_.end(); ++it) {
      if (it->size >= bytes && (best == chunks_.end() || it->size > best->size)) best = it;
    }
    if (best == chunks_.end()) return {};
    ArenaChunk chunk = std::move(*best);
    kept_ -= chunk.size;
    *best = std::move(chunks_.back());
    chunks_.pop_back();
    return chunk;
  }

  void give_chunk(ArenaChunk&& chunk) noexcept {
    if (kept_ + chunk.size > kWorkspaceBytes || !room_for_one_more(chunks_)) return;
    kept_ += chunk.size;
    chunks_.push_back(std::move(chunk));
  }

  // The largest kept text buffer, emptied; an empty string when none is kept.
  std::string take_text() {
    if (texts_.empty()) return {};
    auto largest = std::max_element(texts_.begin(), texts_.end(), [](const std::string& a, const std::string& b) {
      return a.capacity() < b.capacity();
    });
    std::string buffer = std::move(*largest);
    *largest = std::move(texts_.back());
    texts_.pop_back();
    kept_ -= buffer.capacity();
    buffer.clear();
    return buffer;
  }

  void give_text(std::string&& buffer) noexcept {
    if (buffer.capacity() < 4096 || kept_ + buffer.capacity() > kWorkspaceBytes || !room_for_one_more(texts_)) return;
    kept_ += buffer.capacity();
    texts_.push_back(std::move(buffer));
  }

  std::span<char32_t> code_points() {
    if (!code_points_) code_points_.reset(new (std::nothrow) char32_t[kTranscodingCodePoints]);
    if (!code_points_) return {};
    return {code_points_.get(), kTranscodingCodePoints};
  }

  PositionIndex& key_index() { return key_index_; }

 private:
  std::vector<ArenaChunk> chunks_;
  std::vector<std::string> texts_;
  std::size_t kept_ = 0;  // bytes in chunks_ and texts_
  std::unique_ptr<char32_t[]> code_points_;
  PositionIndex key_index_;
};

// The calling thread's workspace, made on first use and destroyed at thread
// exit. The handles are trivially destructible, so a call during teardown,
// after the workspace is gone, sees null; so does one that finds no memory
// for it.
Workspace* this_thread_workspace() noexcept {
  thread_local Workspace* workspace = nullptr;
  thread_local bool released = false;
  struct Release {
    ~Release() {
      delete workspace;
      workspace = nullptr;
      released = true;
    }
  };
  if (workspace == nullptr && !released) {
    thread_local Release release_at_thread_exit;
    workspace = new (std::nothrow) Workspace;
  }
  return workspace;
}

}  // namespace

std::string take_text_buffer(std::size_t capacity) {
  Workspace* workspace = this_thread_workspace();
  std::string buffer = workspace != nullptr ? workspace->take_text() : std::string();
  buffer.reserve(capacity);
  return buffer;
}

void recycle_text_buffer(std::string&& buffer) noexcept {
  if (Workspace* workspace = this_thread_workspace()) workspace->give_text(std::move(buffer));
}

ArenaChunk take_spare_chunk(std::size_t bytes) {
  Workspace* workspace = this_thread_workspace();
  return workspace != nullptr ? workspace->take_chunk(bytes) : ArenaChunk{};
}

void give_spare_chunk(ArenaChunk&& chunk) noexcept {
  if (Workspace* workspace = this_thread_workspace()) workspace->give_chunk(std::move(chunk));
}

std::span<char32_t> transcoding_buffer() {
  Workspace* workspace = this_thread_workspace();
  return workspace != nullptr ? workspace->code_points() : std::span<char32_t>{};
}

PositionIndex* key_index(std::size_t expected) {
  Workspace* workspace = this_thread_workspace();
  if (workspace == nullptr) return nullptr;
  workspace->key_index().reset(expected);
  return &workspace->key_index();
}

}  // namespace plomet
