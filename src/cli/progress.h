// The one-line progress display on standard error for large inputs.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plomet::cli {

class Progress {
 public:
  // Inputs larger than this show the display.
  static constexpr std::uint64_t kShownFrom = std::uint64_t{64} << 20;

  // allowed: standard error is a terminal and the user did not ask for
  // quiet. total_bytes: the input's size when it is known in advance.
  Progress(bool allowed, std::string name, std::optional<std::uint64_t> total_bytes);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { clear(); }

  // These bytes have been read. Their line feeds are counted only when the
  // display may be shown.
  void advance(std::string_view read);
  // Replaces the rate with a word on what runs now, once the reading is done.
  void show_phase(std::string_view phase);
  void clear();

 private:
  bool due() const { return allowed_ && (bytes_ > kShownFrom || total_bytes_.value_or(0) > kShownFrom); }
  void draw(std::string_view phase);

  const bool allowed_;
  const std::string name_;
  const std::optional<std::uint64_t> total_bytes_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_drawn_;
  std::uint64_t bytes_ = 0;
  std::uint64_t lines_ = 0;
  bool shown_ = false;
};

}  // namespace plomet::cli
