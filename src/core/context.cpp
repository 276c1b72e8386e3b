#include "core/context.h"

#include <algorithm>
#include <utility>

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

}  // namespace

bool Context::check_now() {
  if (stopped_) return true;  // the count stays at or below zero
  units_until_check_ = kUnitsPerCheck;
  if (check_ == nullptr || !check_(check_state_)) return false;
  stopped_ = true;
  units_until_check_ = 0;
  return true;
}

Text Context::take_text(std::size_t capacity) {
  Text text;
  if (!texts_.empty()) {
    auto largest = std::max_element(texts_.begin(), texts_.end(),
                                    [](const Text& a, const Text& b) { return a.capacity() < b.capacity(); });
    text = std::move(*largest);
    *largest = std::move(texts_.back());
    texts_.pop_back();
    spare_bytes_ -= text.capacity();
    text.clear();
  }
  text.reserve(capacity);
  return text;
}

void Context::recycle_text(Text&& text) noexcept {
  if (text.capacity() < 4096 || spare_bytes_ + text.capacity() > kSpareBytes || !room_for_one_more(texts_)) return;
  spare_bytes_ += text.capacity();
  texts_.push_back(std::move(text));
}

MemoryBlock Context::take_chunk(std::size_t bytes) {
  auto best = chunks_.end();
  for (auto it = chunks_.begin(); it != chunks_.end(); ++it) {
    if (it->size() >= bytes && (best == chunks_.end() || it->size() > best->size())) best = it;
  }
  if (best == chunks_.end()) return {};
  MemoryBlock chunk = std::move(*best);
  spare_bytes_ -= chunk.size();
  *best = std::move(chunks_.back());
  chunks_.pop_back();
  return chunk;
}

void Context::give_chunk(MemoryBlock&& chunk) noexcept {
  if (spare_bytes_ + chunk.size() > kSpareBytes || !room_for_one_more(chunks_)) return;
  spare_bytes_ += chunk.size();
  chunks_.push_back(std::move(chunk));
}

std::span<char32_t> Context::transcoding_buffer() {
  if (code_points_.empty()) code_points_.resize(kTranscodingCodePoints);
  return code_points_;
}

PositionIndex& Context::key_index(std::size_t expected) {
  key_index_.reset(expected);
  return key_index_;
}

}  // namespace plomet
