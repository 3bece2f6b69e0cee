#include "core/checkpoint.hpp"

#include <algorithm>
#include <limits>

namespace magnikit {
namespace {

// The work between two questions: well inside the 10 ms in which a pending
// Ctrl-C should be handled, and long enough that asking costs nothing.
constexpr std::chrono::microseconds CHUNK_WORK{1000};

}  // namespace

bool Checkpoint::ask_and_pace() {
  if (ask_ == nullptr) {
    countdown_ = std::numeric_limits<std::uint64_t>::max();
    return false;
  }
  if (ask_()) return true;
  // A chunk that took less than half the target doubles, so that a timing
  // too short to measure well grows it only step by step; one that took
  // more than twice the target shrinks in proportion at once, so that
  // separations that turn out dearer than the ones before are caught within
  // one chunk.
  const auto now = std::chrono::steady_clock::now();
  if (chunk_start_ != std::chrono::steady_clock::time_point{}) {
    const auto took = now - chunk_start_;
    if (took < CHUNK_WORK / 2) {
      chunk_ = chunk_ * 2;
    } else if (took > CHUNK_WORK * 2) {
      const auto scaled = static_cast<std::uint64_t>(
          static_cast<double>(chunk_) * (static_cast<double>(CHUNK_WORK.count()) /
                                         std::chrono::duration<double, std::micro>(took).count()));
      chunk_ = std::max<std::uint64_t>(scaled, 1);
    }
  }
  chunk_start_ = now;
  countdown_ = chunk_;
  return false;
}

}  // namespace magnikit
