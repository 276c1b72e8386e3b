// Pieces folded on worker threads and merged on the reader's thread in the
// order they were cut.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/piece.h"
#include "core/context.h"

namespace plomet::cli {

// At most twice as many pieces as jobs are in flight: the reader waits for
// the oldest to be merged before it fills another, so memory stays bounded
// whatever the input. With one job there is no thread: each piece is folded
// and merged as it is submitted.
class PiecePipeline {
 public:
  using Fold = std::function<void(Context&, Piece&)>;
  using Merge = std::function<void(Piece&)>;

  // fold runs on the workers (on the reader's thread with one job), each
  // with a context of its own that it keeps from piece to piece; merge runs
  // on the reader's thread, once per piece, in submission order. What fold
  // throws is rethrown on the reader's thread when the piece's turn to be
  // merged comes.
  PiecePipeline(std::size_t jobs, Fold fold, Merge merge);
  ~PiecePipeline();
  PiecePipeline(const PiecePipeline&) = delete;
  PiecePipeline& operator=(const PiecePipeline&) = delete;

  // The piece to fill next; when every piece is in flight, first waits for
  // the oldest and merges it. Until submit, the same piece each time.
  Piece& next_piece();
  // Folds the piece of next_piece, and merges the pieces folded by now.
  void submit();
  // Merges every piece in flight.
  void drain();

 private:
  struct Slot {
    Piece piece;
    bool folded = false;
    std::exception_ptr fault;
  };

  Slot& slot(std::size_t serial) { return slots_[serial % slots_.size()]; }
  void work();
  // Waits for the oldest piece in flight to be folded, then merges it.
  void merge_oldest();
  bool oldest_is_folded();

  const Fold fold_;
  const Merge merge_;
  // The context of the folds run on the reader's thread, with one job.
  Context reader_context_;
  std::vector<Slot> slots_;
  // Serial numbers of pieces: those below submitted_ were submitted, below
  // taken_ taken by a worker, below merged_ merged.
  std::size_t submitted_ = 0;
  std::size_t taken_ = 0;
  std::size_t merged_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable work_submitted_;
  std::condition_variable piece_folded_;
  std::vector<std::thread> workers_;
};

}  // namespace plomet::cli
