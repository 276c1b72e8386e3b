#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

#include "cli/console.h"

namespace plomet::cli {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

std::string byte_text(double bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

}  // namespace

Progress::Progress(bool allowed, std::string name, std::optional<std::uint64_t> total_bytes)
    : allowed_(allowed), name_(std::move(name)), total_bytes_(total_bytes), start_(std::chrono::steady_clock::now()) {}

void Progress::advance(std::string_view read) {
  if (!allowed_) return;
  bytes_ += read.size();
  lines_ += static_cast<std::uint64_t>(std::count(read.begin(), read.end(), '\n'));
  if (!due()) return;
  if (shown_ && std::chrono::steady_clock::now() - last_drawn_ < kRedrawEvery) return;
  draw({});
}

void Progress::show_phase(std::string_view phase) {
  if (due()) draw(phase);
}

void Progress::draw(std::string_view phase) {
  last_drawn_ = std::chrono::steady_clock::now();
  std::string line = "\r" + name_ + ": " + byte_text(static_cast<double>(bytes_));
  if (total_bytes_ && *total_bytes_ > 0) {
    line += " of " + byte_text(static_cast<double>(*total_bytes_)) + " (" +
            std::to_string(bytes_ * 100 / *total_bytes_) + "%)";
  }
  if (phase.empty()) {
    const double seconds = std::chrono::duration<double>(last_drawn_ - start_).count();
    if (seconds > 0) line += ", " + byte_text(static_cast<double>(bytes_) / seconds) + "/s";
  } else {
    line += ", ";
    line += phase;
  }
  line += ", " + std::to_string(lines_) + " lines\x1b[K";
  set_progress_line_shown(true);
  shown_ = true;
  write_stderr(line);
}

void Progress::clear() {
  if (!shown_) return;
  write_stderr("\r\x1b[K");
  shown_ = false;
  set_progress_line_shown(false);
}

}  // namespace plomet::cli
