// Places a JSON5 read can go on from. Repair makes texts that share a long
// prefix with the text before them; a read of one can start where a read of
// another stood, instead of at the first byte, when the two texts agree on
// everything the first read had looked at by then.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace plomet {

// Where a read stood, between two tokens, with what it had looked at to get
// there: the bytes before position and, after a number, the bytes that
// ended it.
struct ReadPoint {
  enum class Phase : std::uint8_t {
    // A value follows: at the start of the text, or after a key's ':'.
    Value,
    // An opener or a comma was the last token: the container's closer or
    // its next item follows.
    BeforeItem,
    // A value or a closer was the last token, starting at token_start: a
    // comma, a closer or the end follows.
    AfterValue,
  };
  Phase phase = Phase::Value;
  std::size_t position = 0;
  std::size_t token_start = 0;
};

// The first conversion failure a read met, if any: a message of the reader's
// (a static text) and the offset of the value or escape.
struct ConversionFailure {
  std::string_view message;
  std::size_t offset = 0;

  bool failed() const { return !message.empty(); }
};

// The places a read passed through, every spacing() bytes or so, each with
// the containers open there: a later read of a text that agrees with this
// one up to some byte goes on from the last place before it. The reader
// notes a place after an opener or a comma, in the BeforeItem phase.
class ReadCheckpoints {
 public:
  explicit ReadCheckpoints(std::size_t spacing = 4096) : spacing_(spacing) {}

  std::size_t spacing() const { return spacing_; }

  struct Checkpoint {
    std::size_t position;
    // The kinds of the open containers (true: an object), outermost first,
    // at kinds_at in the shared list.
    std::size_t kinds_at;
    std::size_t depth;
    ConversionFailure conversion;
  };

  // Notes a place; positions come in increasing order.
  template <class Kinds>
  void add(std::size_t position, const Kinds& open, std::size_t depth, ConversionFailure conversion) {
    checkpoints_.push_back({position, kinds_.size(), depth, conversion});
    for (std::size_t level = 0; level < depth; ++level) kinds_.push_back(open[level]);
  }

  // The last place at or before position, or null.
  const Checkpoint* last_at_or_before(std::size_t position) const {
    auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), position,
                                  [](std::size_t at, const Checkpoint& c) { return at < c.position; });
    return after == checkpoints_.begin() ? nullptr : &*(after - 1);
  }

  const std::vector<Checkpoint>& all() const { return checkpoints_; }

  bool kind_at(const Checkpoint& checkpoint, std::size_t level) const { return kinds_[checkpoint.kinds_at + level]; }

 private:
  std::size_t spacing_;
  std::vector<Checkpoint> checkpoints_;
  std::vector<bool> kinds_;
};

}  // namespace plomet
