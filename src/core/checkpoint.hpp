// Checkpoints between the separations of a vector operation, where the
// caller may stop a long computation: the binding lets the interpreter run
// the handlers of pending signals there, so that Ctrl-C ends a call of a
// million separations within milliseconds. The core knows nothing of what
// the caller does at a checkpoint, only whether it asks to stop.
//
// Asking costs the caller a call, so the caller is asked once per chunk of
// separations, not for every one. A chunk is sized to about a millisecond
// of work by timing the previous one, because the cost of one separation
// ranges from a tenth of a microsecond (a uniform disc) to milliseconds (an
// integral over a finely sampled profile).
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "core/computation.hpp"

namespace magnikit {

class Checkpoint {
 public:
  // Asked between chunks; true stops the operation.
  using StopRequest = bool (*)();

  // A checkpoint that never stops the operation.
  Checkpoint() = default;
  explicit Checkpoint(StopRequest ask) : ask_(ask) {}

  // Called before each separation, and between the pieces of a long one;
  // true when the caller asks to stop, and from then on. The operation then
  // returns stopped_at_checkpoint() at once. An operation takes its
  // checkpoint by value, so each paces its own chunks, and hands it on by
  // reference to the loops inside it.
  bool stop_requested() {
    if (stopped_) return true;
    if (--countdown_ != 0) return false;
    stopped_ = ask_and_pace();
    return stopped_;
  }

  // Whether the caller has asked to stop at some checkpoint.
  bool stopped() const { return stopped_; }

 private:
  // Asks the caller, then sizes the next chunk from the time the last one
  // took.
  bool ask_and_pace();

  StopRequest ask_ = nullptr;
  // The first separation is computed before anything is asked, so that a
  // call of one or a few cheap separations never pays for a question.
  std::uint64_t countdown_ = 2;
  std::uint64_t chunk_ = 1;
  std::chrono::steady_clock::time_point chunk_start_{};
  bool stopped_ = false;
};

// The error of an operation stopped at a checkpoint. The caller who asked to
// stop knows why and reports that instead of this text.
inline constexpr std::string_view STOPPED_AT_CHECKPOINT = "stopped at a checkpoint";

inline std::unexpected<ComputationError> stopped_at_checkpoint() {
  return fail(STOPPED_AT_CHECKPOINT);
}

inline bool is_stop(const ComputationError& error) {
  return error.message == STOPPED_AT_CHECKPOINT;
}

}  // namespace magnikit
