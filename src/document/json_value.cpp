#include "document/json_value.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "document/position_index.h"

namespace plomet {

namespace {

// The memory one thread keeps from call to call, so that the next document
// lands in pages that are already mapped: chunks of destroyed arenas and
// text buffers, together at most kWorkspaceBytes.
class Workspace {
 public:
  // Hands over the largest spare chunk of at least `bytes`, if any.
  bool take_chunk(std::size_t bytes, std::unique_ptr<std::byte[]>& chunk, std::size_t& size) {
    auto best = chunks_.end();
    for (auto it = chunks_.begin(); it != chunks_.end(); ++it) {
      if (it->second >= bytes && (best == chunks_.end() || it->second > best->second)) best = it;
    }
    if (best == chunks_.end()) return false;
    chunk = std::move(best->first);
    size = best->second;
    kept_ -= size;
    *best = std::move(chunks_.back());
    chunks_.pop_back();
    return true;
  }

  // Keeps the chunk while the workspace stays within its budget; frees it
  // otherwise.
  void give_chunk(std::unique_ptr<std::byte[]> chunk, std::size_t size) {
    if (kept_ + size > kWorkspaceBytes) return;
    kept_ += size;
    chunks_.emplace_back(std::move(chunk), size);
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

  void give_text(std::string&& buffer) {
    if (buffer.capacity() < 4096 || kept_ + buffer.capacity() > kWorkspaceBytes) return;
    kept_ += buffer.capacity();
    texts_.push_back(std::move(buffer));
  }

 private:
  std::vector<std::pair<std::unique_ptr<std::byte[]>, std::size_t>> chunks_;
  std::vector<std::string> texts_;
  std::size_t kept_ = 0;
};

// One T per thread, made on first use and destroyed at thread exit. The
// handles are trivially destructible, so an arena or document destroyed
// during teardown, after its thread's T is gone, sees null and simply frees
// what it holds.
template <class T>
T* per_thread() {
  thread_local T* object = nullptr;
  thread_local bool released = false;
  struct Release {
    ~Release() {
      delete object;
      object = nullptr;
      released = true;
    }
  };
  if (object == nullptr && !released) {
    thread_local Release release_at_thread_exit;
    object = new T;
  }
  return object;
}

}  // namespace

std::string take_text_buffer(std::size_t capacity) {
  Workspace* workspace = per_thread<Workspace>();
  std::string buffer = workspace != nullptr ? workspace->take_text() : std::string();
  buffer.reserve(capacity);
  return buffer;
}

void recycle_text_buffer(std::string&& buffer) {
  if (Workspace* workspace = per_thread<Workspace>()) workspace->give_text(std::move(buffer));
}

JsonArena::~JsonArena() {
  // Largest first: one big chunk serves the next document best.
  std::sort(chunks_.begin(), chunks_.end(), [](const Chunk& a, const Chunk& b) { return a.size > b.size; });
  Workspace* workspace = per_thread<Workspace>();
  if (workspace == nullptr) return;
  for (Chunk& chunk : chunks_) workspace->give_chunk(std::move(chunk.bytes), chunk.size);
}

void* JsonArena::allocate(std::size_t bytes, std::size_t align) {
  std::size_t padding = (align - reinterpret_cast<std::uintptr_t>(cursor_) % align) % align;
  if (cursor_ == nullptr || padding + bytes > remaining_) {
    Chunk chunk;
    Workspace* workspace = per_thread<Workspace>();
    if (workspace == nullptr || !workspace->take_chunk(bytes + align, chunk.bytes, chunk.size)) {
      chunk.size = std::max(next_chunk_size_, bytes + align);
      chunk.bytes = std::make_unique_for_overwrite<std::byte[]>(chunk.size);
    }
    cursor_ = chunk.bytes.get();
    remaining_ = chunk.size;
    chunks_.push_back(std::move(chunk));
    next_chunk_size_ = std::min<std::size_t>(next_chunk_size_ * 2, std::size_t{1} << 24);
    padding = (align - reinterpret_cast<std::uintptr_t>(cursor_) % align) % align;
  }
  std::byte* result = cursor_ + padding;
  cursor_ = result + bytes;
  remaining_ -= padding + bytes;
  return result;
}

std::string_view JsonArena::copy_string(std::string_view text) {
  if (text.empty()) return {};
  char* copy = allocate_array<char>(text.size());
  std::memcpy(copy, text.data(), text.size());
  return {copy, text.size()};
}

JsonValue JsonValue::boolean(bool b) {
  JsonValue v;
  v.kind_ = Kind::Bool;
  v.bool_ = b;
  return v;
}

JsonValue JsonValue::number(JsonNumber n) {
  JsonValue v;
  v.kind_ = Kind::Number;
  v.number_ = n;
  return v;
}

JsonValue JsonValue::string(std::string_view text) {
  JsonValue v;
  v.kind_ = Kind::String;
  v.chars_ = text.data();
  v.size_ = text.size();
  return v;
}

JsonValue JsonValue::array(std::span<JsonValue> items) {
  JsonValue v;
  v.kind_ = Kind::Array;
  v.items_ = items.data();
  v.size_ = items.size();
  return v;
}

JsonValue JsonValue::object(ObjectMap members) {
  JsonValue v;
  v.kind_ = Kind::Object;
  v.members_ = members.begin();
  v.size_ = members.size();
  return v;
}

ObjectMap JsonValue::members() const {
  if (kind_ != Kind::Object) return {};
  return {members_, size_};
}

const JsonValue* ObjectMap::find(std::string_view key) const {
  for (const JsonMember& m : *this) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

JsonValue make_array(std::span<const JsonValue> items, JsonArena& arena) {
  JsonValue* copy = arena.allocate_array<JsonValue>(items.size());
  std::copy(items.begin(), items.end(), copy);
  return JsonValue::array({copy, items.size()});
}

namespace {

// A byte of a key's content, cheap to compute: keys whose bytes differ are
// compared in full only when their tags collide.
std::uint8_t key_tag(std::string_view key) {
  if (key.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(key[i])); };
  const std::uint32_t mixed = (byte(0) * 31 + byte(key.size() - 1)) * 31 + byte(key.size() / 2) + static_cast<std::uint32_t>(key.size()) * 131;
  return static_cast<std::uint8_t>(mixed ^ (mixed >> 8));
}

// Up to this many members, a repeated key is found through the tags of the
// keys kept so far; beyond it, through a hash index.
constexpr std::size_t kTaggedMemberLimit = 64;

std::size_t keep_last_values_by_tag(std::span<const JsonMember> members, JsonMember* out) {
  std::array<std::uint8_t, kTaggedMemberLimit> tags;
  std::array<std::uint64_t, 4> tags_seen{};
  std::size_t count = 0;
  for (const JsonMember& m : members) {
    const std::uint8_t tag = key_tag(m.key);
    std::uint64_t& word = tags_seen[tag >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (tag & 63);
    std::size_t earlier = count;
    if (word & bit) {
      for (std::size_t i = 0; i < count; ++i) {
        if (tags[i] == tag && out[i].key == m.key) {
          earlier = i;
          break;
        }
      }
    }
    if (earlier == count) {
      word |= bit;
      tags[count] = tag;
      out[count++] = m;
    } else {
      out[earlier].value = m.value;
    }
  }
  return count;
}

std::size_t keep_last_values_by_hash(std::span<const JsonMember> members, JsonMember* out) {
  // One index per thread, reused: objects are built one at a time.
  thread_local PositionIndex index;
  index.reset(members.size());
  std::size_t count = 0;
  for (const JsonMember& m : members) {
    const std::uint32_t earlier = index.insert_or_find(hash_bytes(m.key), static_cast<std::uint32_t>(count),
                                                       [&](std::uint32_t at) { return out[at].key == m.key; });
    if (earlier == PositionIndex::kAbsent) {
      out[count++] = m;
    } else {
      out[earlier].value = m.value;
    }
  }
  return count;
}

}  // namespace

JsonValue make_object(std::span<const JsonMember> members_in_order, JsonArena& arena) {
  JsonMember* out = arena.allocate_array<JsonMember>(members_in_order.size());
  const std::size_t count = members_in_order.size() <= kTaggedMemberLimit
                                ? keep_last_values_by_tag(members_in_order, out)
                                : keep_last_values_by_hash(members_in_order, out);
  return JsonValue::object(ObjectMap(out, count));
}

}  // namespace plomet
