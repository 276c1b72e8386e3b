// A flat hash index over the elements of a sequence that its owner keeps:
// the index stores positions, the owner answers whether the element at a
// position equals a probe. Used to de-duplicate example lists and to look up
// object keys in constant time without a heap node per element.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/page_memory.h"

namespace plomet {

// Seed shared by every index of the process, drawn once. No output depends on
// hash values; the seed only keeps crafted inputs from colliding on purpose.
std::uint64_t hash_seed();

inline std::uint64_t mix_hash(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

inline std::uint64_t hash_integer(std::int64_t value) {
  return mix_hash(static_cast<std::uint64_t>(value) ^ hash_seed());
}

// Equal under IEEE == implies equal hashes: both zeros hash alike. NaN never
// occurs in a schema.
inline std::uint64_t hash_double(double value) {
  if (value == 0.0) value = 0.0;
  return mix_hash(std::bit_cast<std::uint64_t>(value) ^ hash_seed());
}

inline std::uint64_t hash_bytes(std::string_view text) {
  std::uint64_t h = hash_seed() ^ (text.size() * 0x9e3779b97f4a7c15ULL);
  const char* p = text.data();
  std::size_t left = text.size();
  for (; left >= 8; p += 8, left -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0x9e3779b97f4a7c15ULL;
    h ^= h >> 29;
  }
  if (left > 0) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, left);
    h = (h ^ word) * 0x9e3779b97f4a7c15ULL;
  }
  return mix_hash(h);
}

// Positions are 32-bit: no document that fits in memory has 2^32 values in
// one array or object.
class PositionIndex {
 public:
  static constexpr std::uint32_t kAbsent = UINT32_MAX;

  std::size_t size() const { return count_; }

  // Empties the index, sized for expected positions; keeps its memory so a
  // reused index allocates only when it must grow.
  void reset(std::size_t expected) {
    slots_.assign(std::bit_ceil(std::max<std::size_t>(32, 2 * expected)), Slot{0, kAbsent});
    mask_ = slots_.size() - 1;
    count_ = 0;
  }

  // The indexed position whose element equals the probe, or kAbsent.
  template <class EqualAt>
  std::uint32_t find(std::uint64_t hash, EqualAt&& equal_at) const {
    if (slots_.empty()) return kAbsent;
    const std::uint32_t tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.position == kAbsent) return kAbsent;
      if (slot.tag == tag && equal_at(slot.position)) return slot.position;
    }
  }

  // Starts loading the slot a later insert or find of hash will probe first.
  void prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[static_cast<std::uint32_t>(hash) & mask_]);
  }

  // Indexes position unless an equal element is indexed already; returns
  // whether it was added.
  template <class EqualAt>
  bool insert_unique(std::uint64_t hash, std::uint32_t position, EqualAt&& equal_at) {
    return insert_or_find(hash, position, equal_at) == kAbsent;
  }

  // Indexes position unless an equal element is indexed already; returns
  // kAbsent when it was added, else the equal element's position.
  template <class EqualAt>
  std::uint32_t insert_or_find(std::uint64_t hash, std::uint32_t position, EqualAt&& equal_at) {
    reserve_one();
    const std::uint32_t tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.position == kAbsent) {
        slot = {tag, position};
        ++count_;
        return kAbsent;
      }
      if (slot.tag == tag && equal_at(slot.position)) return slot.position;
    }
  }

  // Indexes a position whose element is known to be new.
  void insert_new(std::uint64_t hash, std::uint32_t position) {
    reserve_one();
    place(static_cast<std::uint32_t>(hash), position);
    ++count_;
  }

 private:
  struct Slot {
    std::uint32_t tag;
    std::uint32_t position;
  };

  void place(std::uint32_t tag, std::uint32_t position) {
    std::size_t i = tag & mask_;
    while (slots_[i].position != kAbsent) i = (i + 1) & mask_;
    slots_[i] = {tag, position};
  }

  // Keeps the load at or below one half.
  void reserve_one() {
    if (2 * (count_ + 1) <= slots_.size()) return;
    Slots old = std::move(slots_);
    slots_.assign(old.empty() ? 32 : old.size() * 2, Slot{0, kAbsent});
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position != kAbsent) place(slot.tag, slot.position);
    }
  }

  using Slots = std::vector<Slot, PageAllocator<Slot>>;
  Slots slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

}  // namespace plomet
