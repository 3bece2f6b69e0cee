// Exposes the elliptic integrals to pytest: each function takes floats and
// returns a float, or raises RuntimeError with the computation error's text.
#include "internals.hpp"

#include <tuple>
#include <utility>

#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"

namespace {

using internals::PyRef;
using internals::PyResult;

// Converts exactly N positional arguments to doubles and applies f to them.
template <std::size_t N, class F>
PyObject* call_with_doubles(const char* name, PyObject* const* args, Py_ssize_t nargs, F f) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments(name, N, nargs); !counted) {
      return internals::raise_later(std::move(counted.error()));
    }
    auto values = internals::doubles<N>(args);
    if (!values) return internals::raise_later(std::move(values.error()));
    return internals::to_result(std::apply(f, *values));
  });
}

#define MAGNIKIT_WRAP(NAME, ARITY)                                                       \
  PyObject* NAME(PyObject*, PyObject* const* args, Py_ssize_t nargs) {                   \
    return call_with_doubles<ARITY>(#NAME, args, nargs,                                  \
                                    [](auto... xs) { return magnikit::NAME(xs...); });   \
  }

MAGNIKIT_WRAP(elliprc, 2)
MAGNIKIT_WRAP(elliprf, 3)
MAGNIKIT_WRAP(elliprd, 3)
MAGNIKIT_WRAP(elliprj, 4)
MAGNIKIT_WRAP(ellipk, 1)
MAGNIKIT_WRAP(ellipe, 1)
MAGNIKIT_WRAP(ellippi, 2)
MAGNIKIT_WRAP(ellipk_complementary, 1)
MAGNIKIT_WRAP(ellipe_complementary, 1)
MAGNIKIT_WRAP(ellippi_complementary, 2)

#undef MAGNIKIT_WRAP

#define MAGNIKIT_ENTRY(NAME, SIGNATURE) \
  {#NAME, internals::method(NAME), METH_FASTCALL, #NAME SIGNATURE "\n--\n\n"}

PyMethodDef elliptic_methods[] = {
    MAGNIKIT_ENTRY(elliprc, "(x, y)"),
    MAGNIKIT_ENTRY(elliprf, "(x, y, z)"),
    MAGNIKIT_ENTRY(elliprd, "(x, y, z)"),
    MAGNIKIT_ENTRY(elliprj, "(x, y, z, p)"),
    MAGNIKIT_ENTRY(ellipk, "(m)"),
    MAGNIKIT_ENTRY(ellipe, "(m)"),
    MAGNIKIT_ENTRY(ellippi, "(n, m)"),
    MAGNIKIT_ENTRY(ellipk_complementary, "(mc)"),
    MAGNIKIT_ENTRY(ellipe_complementary, "(mc)"),
    MAGNIKIT_ENTRY(ellippi_complementary, "(nc, mc)"),
    {nullptr, nullptr, 0, nullptr}};

#undef MAGNIKIT_ENTRY

internals::Registrar registrar{elliptic_methods};

}  // namespace
