// Exposes the elliptic integrals to pytest: each function takes floats and
// returns a float, or raises RuntimeError with the computation error's text.
#include "internals.hpp"

#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"

namespace {

// Converts exactly N positional arguments to doubles and applies f to them.
template <std::size_t N, class F>
PyObject* call_with_doubles(const char* name, PyObject* const* args, Py_ssize_t nargs,
                            F f) {
  if (nargs != static_cast<Py_ssize_t>(N)) {
    PyErr_Format(PyExc_TypeError, "%s() takes %d arguments (%zd given)", name,
                 static_cast<int>(N), nargs);
    return nullptr;
  }
  double values[N];
  for (std::size_t i = 0; i < N; ++i) {
    values[i] = PyFloat_AsDouble(args[i]);
    if (values[i] == -1.0 && PyErr_Occurred()) return nullptr;
  }
  if constexpr (N == 1) return internals::to_python(f(values[0]));
  if constexpr (N == 2) return internals::to_python(f(values[0], values[1]));
  if constexpr (N == 3) return internals::to_python(f(values[0], values[1], values[2]));
  if constexpr (N == 4)
    return internals::to_python(f(values[0], values[1], values[2], values[3]));
}

#define MAGNIKIT_WRAP(NAME, ARITY)                                              \
  PyObject* NAME(PyObject*, PyObject* const* args, Py_ssize_t nargs) {          \
    return call_with_doubles<ARITY>(#NAME, args, nargs,                         \
                                    [](auto... xs) { return magnikit::NAME(xs...); }); \
  }

MAGNIKIT_WRAP(elliprc, 2)
MAGNIKIT_WRAP(elliprf, 3)
MAGNIKIT_WRAP(elliprd, 3)
MAGNIKIT_WRAP(elliprj, 4)
MAGNIKIT_WRAP(ellipk, 1)
MAGNIKIT_WRAP(ellipe, 1)
MAGNIKIT_WRAP(ellippi, 2)

#undef MAGNIKIT_WRAP

#define MAGNIKIT_ENTRY(NAME, SIGNATURE)                                    \
  {#NAME, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(NAME)), \
   METH_FASTCALL, #NAME SIGNATURE "\n--\n\n"}

PyMethodDef elliptic_methods[] = {
    MAGNIKIT_ENTRY(elliprc, "(x, y)"),
    MAGNIKIT_ENTRY(elliprf, "(x, y, z)"),
    MAGNIKIT_ENTRY(elliprd, "(x, y, z)"),
    MAGNIKIT_ENTRY(elliprj, "(x, y, z, p)"),
    MAGNIKIT_ENTRY(ellipk, "(m)"),
    MAGNIKIT_ENTRY(ellipe, "(m)"),
    MAGNIKIT_ENTRY(ellippi, "(n, m)"),
    {nullptr, nullptr, 0, nullptr}};

#undef MAGNIKIT_ENTRY

internals::Registrar registrar{elliptic_methods};

}  // namespace
