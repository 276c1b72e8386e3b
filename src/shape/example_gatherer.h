// Gathers the examples of a scalar array's items into one list at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/position_index.h"

namespace plomet {

// Up to this many examples a duplicate is found by comparing with each;
// longer lists are searched through a hash index.
inline constexpr std::size_t kExampleScanLimit = 8;

// Gathers examples into one array's item at a time, each value appended
// unless an equal one is held. While the values come in strictly ascending
// order (ids, timestamps, sorted keys), each is new by that alone. Otherwise
// short lists are compared with each example, and longer ones go through a
// hash index, made when first needed, whose slots are fetched a few values
// ahead of their insertion, so that the memory accesses of a long list
// overlap instead of following one another.
template <class T>
class ExampleGatherer {
 public:
  template <class Hash>
  void add(LargeVector<T>& list, const T& value, std::size_t depth, Hash hash) {
    if (&list != list_) {
      finish();
      list_ = &list;
      depth_ = depth;
      indexed_ = false;
      ascending_ = true;
    }
    if (!indexed_) {
      if (ascending_ && !list.empty() && list.back() < value) {
        list.push_back(value);
        return;
      }
      if (list.size() <= kExampleScanLimit) {
        for (const T& example : list) {
          if (example == value) return;
        }
        ascending_ = ascending_ && list.empty();
        list.push_back(value);
        return;
      }
      index_.reset(list.size());
      for (std::size_t i = 0; i < list.size(); ++i) index_.insert_new(hash(list[i]), static_cast<std::uint32_t>(i));
      indexed_ = true;
    }
    if (count_ == kLookahead) insert_first();
    const std::uint64_t h = hash(value);
    index_.prefetch(h);
    pending_[(first_ + count_) % kLookahead] = {value, h};
    ++count_;
  }

  // Forgets the list being gathered and what is pending for it: the fold
  // that owned it is being taken back.
  void abandon() {
    list_ = nullptr;
    first_ = 0;
    count_ = 0;
  }

  // Completes the list of the array that ends at depth.
  void finish_at(std::size_t depth) {
    if (list_ != nullptr && depth_ == depth) finish();
  }

 private:
  static constexpr std::size_t kLookahead = 16;

  struct Pending {
    T value;
    std::uint64_t hash;
  };

  void finish() {
    while (count_ > 0) insert_first();
    list_ = nullptr;
  }

  void insert_first() {
    const Pending& p = pending_[first_];
    LargeVector<T>& list = *list_;
    const auto position = static_cast<std::uint32_t>(list.size());
    if (index_.insert_unique(p.hash, position, [&](std::uint32_t i) { return list[i] == p.value; })) {
      list.push_back(p.value);
    }
    first_ = (first_ + 1) % kLookahead;
    --count_;
  }

  LargeVector<T>* list_ = nullptr;
  std::size_t depth_ = 0;
  bool indexed_ = false;
  bool ascending_ = true;  // the list holds strictly ascending values
  PositionIndex index_;
  Pending pending_[kLookahead];
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

}  // namespace plomet
