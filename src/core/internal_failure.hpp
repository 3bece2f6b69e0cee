// Internal failures: broken invariants that skip all ordinary error handling
// and travel straight to the innermost boundary guard, which raises them in
// Python as the panic exception. The exception type deliberately does not
// derive from std::exception, so nothing but the guard can catch it.
#pragma once

#include <source_location>
#include <string>
#include <utility>

namespace magnikit {

class InternalFailure {
 public:
  explicit InternalFailure(std::string message) : message_(std::move(message)) {}
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Starts an internal failure: writes the failure report (thread, source
// location, message) to standard error, then throws to the guard.
[[noreturn]] void internal_failure(
    std::string message, std::source_location where = std::source_location::current());

// Writes the failure report and aborts the process. Used only when a failure
// escapes the guard's own error handling, where no exception can be raised.
[[noreturn]] void abort_at_boundary() noexcept;

}  // namespace magnikit
