#include "cli/piece_pipeline.h"

#include <utility>

namespace plomet::cli {

PiecePipeline::PiecePipeline(std::size_t jobs, Fold fold, Merge merge)
    : fold_(std::move(fold)), merge_(std::move(merge)), slots_(jobs == 1 ? 1 : 2 * jobs) {
  if (jobs == 1) return;
  workers_.reserve(jobs);
  for (std::size_t i = 0; i < jobs; ++i) workers_.emplace_back([this] { work(); });
}

PiecePipeline::~PiecePipeline() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_submitted_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

Piece& PiecePipeline::next_piece() {
  if (submitted_ - merged_ == slots_.size()) merge_oldest();
  return slot(submitted_).piece;
}

void PiecePipeline::submit() {
  if (workers_.empty()) {
    Piece& piece = slot(submitted_).piece;
    fold_(reader_context_, piece);
    ++submitted_;
    merge_(piece);
    ++merged_;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    ++submitted_;
  }
  work_submitted_.notify_one();
  while (merged_ < submitted_ && oldest_is_folded()) merge_oldest();
}

void PiecePipeline::drain() {
  while (merged_ < submitted_) merge_oldest();
}

void PiecePipeline::work() {
  Context context;
  std::unique_lock lock(mutex_);
  for (;;) {
    work_submitted_.wait(lock, [this] { return stopping_ || taken_ < submitted_; });
    if (stopping_) return;
    Slot& taken = slot(taken_++);
    lock.unlock();
    try {
      fold_(context, taken.piece);
    } catch (...) {
      taken.fault = std::current_exception();
    }
    lock.lock();
    taken.folded = true;
    piece_folded_.notify_one();
  }
}

bool PiecePipeline::oldest_is_folded() {
  std::lock_guard lock(mutex_);
  return slot(merged_).folded;
}

void PiecePipeline::merge_oldest() {
  Slot& oldest = slot(merged_);
  {
    std::unique_lock lock(mutex_);
    piece_folded_.wait(lock, [&oldest] { return oldest.folded; });
    oldest.folded = false;
  }
  if (oldest.fault) std::rethrow_exception(std::exchange(oldest.fault, nullptr));
  merge_(oldest.piece);
  ++merged_;
}

}  // namespace plomet::cli
