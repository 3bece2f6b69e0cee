#include "core/internal_failure.hpp"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>

namespace magnikit {
namespace {

void write_failure_report(const std::string& message, const std::source_location& where) noexcept {
  char name[64] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0 || name[0] == '\0') {
    std::snprintf(name, sizeof name, "%s", "<unnamed>");
  }
  std::fprintf(stderr,
               "magnikit: internal failure in thread '%s' at %s:%u:%u:\n%s\n"
               "note: run the interpreter under gdb with `catch throw` to obtain a backtrace\n",
               name, where.file_name(), static_cast<unsigned>(where.line()),
               static_cast<unsigned>(where.column()), message.c_str());
  std::fflush(stderr);
}

}  // namespace

void internal_failure(std::string message, std::source_location where) {
  write_failure_report(message, where);
  throw InternalFailure(std::move(message));
}

void abort_at_boundary() noexcept {
  write_failure_report("uncaught panic at ffi boundary", std::source_location::current());
  std::abort();
}

}  // namespace magnikit
