#include "module/guard.hpp"

#include <mutex>
#include <vector>

namespace magnikit {
namespace {

thread_local unsigned guard_depth = 0;

// References whose release was asked for while the thread held no
// interpreter lock; released at the next entry into a guard.
std::mutex deferred_mutex;
std::vector<PyObject*>* deferred_releases = new std::vector<PyObject*>();

void release_deferred() {
  std::vector<PyObject*> pending;
  {
    std::lock_guard lock(deferred_mutex);
    if (deferred_releases->empty()) return;
    pending.swap(*deferred_releases);
  }
  for (PyObject* object : pending) Py_DECREF(object);
}

}  // namespace

GuardScope::GuardScope() noexcept {
  ++guard_depth;
  release_deferred();
}

GuardScope::~GuardScope() { --guard_depth; }

bool inside_guard() noexcept { return guard_depth > 0; }

void release_reference(PyObject* object) noexcept {
  if (guard_depth > 0) {
    Py_DECREF(object);
    return;
  }
  std::lock_guard lock(deferred_mutex);
  deferred_releases->push_back(object);
}

}  // namespace magnikit
