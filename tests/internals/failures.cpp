// A broken invariant on demand: the module's own internal failure, raised
// inside its own boundary guard, as a model operation would raise one.
#include "core/internal_failure.hpp"
#include "internals.hpp"

namespace {

// fail_internally(text): ends in an internal failure with the text.
PyObject* fail_internally(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> internals::PyResult<internals::PyRef> {
    if (auto counted = internals::expect_arguments("fail_internally", 1, nargs); !counted) {
      return internals::raise_later(std::move(counted.error()));
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(args[0], &size);
    if (text == nullptr) return internals::raise_later(magnikit::fetch_pending_error());
    magnikit::internal_failure(std::string(text, static_cast<std::size_t>(size)));
  });
}

PyMethodDef failure_methods[] = {
    {"fail_internally", internals::method(fail_internally), METH_FASTCALL,
     "fail_internally(text)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{failure_methods};

}  // namespace
