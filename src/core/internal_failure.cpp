#include "core/internal_failure.hpp"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cwchar>
#else
#include <pthread.h>
#endif

namespace magnikit {
namespace {

constexpr std::size_t thread_name_size = 64;

#if defined(_WIN32)
// Windows keeps thread names as UTF-16 descriptions, from Windows 10 1607 on;
// looked up at run time so that the module still loads on older systems.
// At most 21 UTF-16 units (63 bytes of UTF-8) are shown.
bool read_thread_name(char (&name)[thread_name_size]) noexcept {
  using Describe = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  const auto describe = reinterpret_cast<Describe>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetThreadDescription")));
  PWSTR description = nullptr;
  if (describe == nullptr || FAILED(describe(GetCurrentThread(), &description))) return false;
  const auto units =
      static_cast<int>(std::min<std::size_t>(std::wcslen(description), (thread_name_size - 1) / 3));
  const int written = WideCharToMultiByte(CP_UTF8, 0, description, units, name,
                                          static_cast<int>(thread_name_size - 1), nullptr, nullptr);
  LocalFree(description);
  name[written] = '\0';
  return true;
}
#else
bool read_thread_name(char (&name)[thread_name_size]) noexcept {
  return pthread_getname_np(pthread_self(), name, thread_name_size) == 0;
}
#endif

void write_failure_report(const std::string& message, const std::source_location& where) noexcept {
  char name[thread_name_size] = {};
  if (!read_thread_name(name) || name[0] == '\0') {
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
