// Exposes the piecewise-linear interpolation to pytest.
#include "internals.hpp"

#include <type_traits>
#include <utility>

#include "numeric/interpolation.hpp"

namespace {

using internals::ErrorValue;
using internals::PyRef;
using internals::PyResult;
using internals::raise_later;

// The arguments (xs, ys, x0, kind, value) of interp and interp_line, with
// the query x0 a float or, for the interpolant, a sequence of floats.
template <class Query>
struct InterpArguments {
  magnikit::FloatVector xs;
  magnikit::FloatVector ys;
  Query x0;
  magnikit::OutOfRangeMode mode;
};

template <class Query>
PyResult<InterpArguments<Query>> interp_arguments(const char* name, PyObject* const* args,
                                                  Py_ssize_t nargs) {
  if (auto counted = internals::expect_arguments(name, 5, nargs); !counted) {
    return raise_later(std::move(counted.error()));
  }
  auto xs = magnikit::extract_float_vector(args[0]);
  if (!xs) return raise_later(std::move(xs.error()));
  auto ys = magnikit::extract_float_vector(args[1]);
  if (!ys) return raise_later(std::move(ys.error()));
  auto x0 = [&] {
    if constexpr (std::is_same_v<Query, double>) {
      return magnikit::extract_double(args[2]);
    } else {
      return magnikit::extract_float_vector(args[2]);
    }
  }();
  if (!x0) return raise_later(std::move(x0.error()));
  const unsigned long kind = PyLong_AsUnsignedLong(args[3]);
  if (kind == static_cast<unsigned long>(-1)) {
    if (auto error = magnikit::take_pending_error()) return raise_later(*std::move(error));
  }
  if (kind > 0xFFFFFFFFul) {
    return raise_later(ErrorValue::type_error("kind does not fit in 32 bits"));
  }
  auto value = magnikit::extract_double(args[4]);
  if (!value) return raise_later(std::move(value.error()));
  return InterpArguments<Query>{*std::move(xs), *std::move(ys), *std::move(x0),
                                {static_cast<std::uint32_t>(kind), *value}};
}

// interp(xs, ys, x0, kind, value) -> float
PyObject* interp(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    auto a = interp_arguments<double>("interp", args, nargs);
    if (!a) return raise_later(std::move(a.error()));
    return magnikit::to_python(magnikit::interp(a->xs, a->ys, a->x0, a->mode));
  });
}

// interp_line(xs, ys, x0, kind, value) -> (intercept, slope)
PyObject* interp_line(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    auto a = interp_arguments<double>("interp_line", args, nargs);
    if (!a) return raise_later(std::move(a.error()));
    const magnikit::Line line = magnikit::interp_line(a->xs, a->ys, a->x0, a->mode);
    PyRef tuple = PyRef::steal(Py_BuildValue("(dd)", line.intercept, line.slope));
    if (!tuple) magnikit::python_api_call_failed();
    return tuple;
  });
}

// interpolant(xs, ys, queries, kind, value) -> [value, intercept, slope,
// ...]: the interpolant of the samples, formed once, and its line at every
// query, one after another.
PyObject* interpolant(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    auto a = interp_arguments<magnikit::FloatVector>("interpolant", args, nargs);
    if (!a) return raise_later(std::move(a.error()));
    const magnikit::Interpolant at(a->xs, a->ys, a->mode);
    magnikit::FloatVector values;
    for (const double x0 : a->x0) {
      const magnikit::Line line = at.line(x0);
      values.insert(values.end(), {at(x0), line.intercept, line.slope});
    }
    return magnikit::to_python(values);
  });
}

PyMethodDef numeric_methods[] = {
    {"interp", internals::method(interp), METH_FASTCALL, "interp(xs, ys, x0, kind, value)\n--\n\n"},
    {"interp_line", internals::method(interp_line), METH_FASTCALL,
     "interp_line(xs, ys, x0, kind, value)\n--\n\n"},
    {"interpolant", internals::method(interpolant), METH_FASTCALL,
     "interpolant(xs, ys, queries, kind, value)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{numeric_methods};

}  // namespace
