// Exposes the tanh-sinh quadrature, its node table and the piecewise-linear
// interpolation to pytest.
#include "internals.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "numeric/de_levels.hpp"
#include "numeric/interpolation.hpp"
#include "numeric/quadrature.hpp"

namespace {

using internals::ErrorValue;
using internals::new_list;
using internals::PyRef;
using internals::PyResult;
using internals::raise_later;

// de_levels() -> [[(weight, abscissa), ...], ...], one list per level.
PyObject* de_levels(PyObject*, PyObject*) {
  return magnikit::guarded([]() -> PyResult<PyRef> {
    PyRef levels = new_list(magnikit::DE_LEVELS.size());
    for (std::size_t l = 0; l < magnikit::DE_LEVELS.size(); ++l) {
      const auto level = magnikit::DE_LEVELS[l];
      PyRef entries = new_list(level.size());
      for (std::size_t i = 0; i < level.size(); ++i) {
        PyRef entry = PyRef::steal(Py_BuildValue("(dd)", level[i].weight, level[i].abscissa));
        if (!entry) magnikit::python_api_call_failed();
        PyList_SET_ITEM(entries.get(), static_cast<Py_ssize_t>(i), entry.release());
      }
      PyList_SET_ITEM(levels.get(), static_cast<Py_ssize_t>(l), entries.release());
    }
    return levels;
  });
}

// The arguments (f, a, b, target[, levels]) of integrate and
// integrate_in_batches.
struct IntegrateArguments {
  PyObject* f;
  double a;
  double b;
  double target;
  std::size_t levels;
};

PyResult<IntegrateArguments> integrate_arguments(const char* name, PyObject* const* args,
                                                 Py_ssize_t nargs) {
  if (nargs != 5) {
    if (auto counted = internals::expect_arguments(name, 4, nargs); !counted) {
      return raise_later(std::move(counted.error()));
    }
  }
  auto limits = internals::doubles<3>(args + 1);
  if (!limits) return raise_later(std::move(limits.error()));
  std::size_t levels = magnikit::DE_LEVELS.size();
  if (nargs == 5) {
    levels = PyLong_AsSize_t(args[4]);
    if (levels == static_cast<std::size_t>(-1)) {
      if (auto error = magnikit::take_pending_error()) return raise_later(*std::move(error));
    }
  }
  const auto [a, b, target] = *limits;
  return IntegrateArguments{args[0], a, b, target, levels};
}

// Integrates with the given integrand, which records the first error it
// meets in `raised` and gives NaN from then on; raises that error after the
// sum, or returns (estimated_error, integral, evaluations).
template <class Integrand>
PyResult<PyRef> integrate_and_report(Integrand& integrand, const IntegrateArguments& arguments,
                                     std::optional<ErrorValue>& raised) {
  const magnikit::QuadratureResult result = magnikit::integrate(
      integrand, arguments.a, arguments.b, arguments.target, arguments.levels);
  if (raised) return raise_later(*std::move(raised));
  PyRef tuple = PyRef::steal(Py_BuildValue("(ddI)", result.estimated_error, result.integral,
                                           static_cast<unsigned int>(result.evaluations)));
  if (!tuple) magnikit::python_api_call_failed();
  return tuple;
}

// integrate(f, a, b, target[, levels]) -> (estimated_error, integral, evaluations)
//
// Once the Python integrand has raised, it is not called again (calling into
// Python with an exception pending is not allowed): the quadrature sees NaN
// from then on, and the first exception is raised when integrate returns.
PyObject* integrate(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    auto arguments = integrate_arguments("integrate", args, nargs);
    if (!arguments) return raise_later(std::move(arguments.error()));
    std::optional<ErrorValue> raised;
    const auto integrand = [&](double x) -> double {
      constexpr double failed = std::numeric_limits<double>::quiet_NaN();
      if (raised) return failed;
      auto argument = magnikit::to_python(x);
      if (!argument) {
        raised.emplace(std::move(argument.error()));
        return failed;
      }
      PyRef value = PyRef::steal(PyObject_CallOneArg(arguments->f, argument->get()));
      if (!value) {
        raised.emplace(magnikit::fetch_pending_error());
        return failed;
      }
      auto y = magnikit::extract_double(value.get());
      if (!y) {
        raised.emplace(std::move(y.error()));
        return failed;
      }
      return *y;
    };
    return integrate_and_report(integrand, *arguments, raised);
  });
}

// integrate_in_batches(f, a, b, target[, levels]) -> as integrate, with f a
// batch integrand: f(points) takes a list of points and returns a sequence
// of as many values. Once f has raised, it is not called again.
PyObject* integrate_in_batches(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    auto arguments = integrate_arguments("integrate_in_batches", args, nargs);
    if (!arguments) return raise_later(std::move(arguments.error()));
    std::optional<ErrorValue> raised;
    const auto integrand = [&](std::span<const double> x, std::span<double> y) {
      std::fill(y.begin(), y.end(), std::numeric_limits<double>::quiet_NaN());
      if (raised) return;
      auto points = magnikit::to_python(magnikit::FloatVector(x.begin(), x.end()));
      if (!points) {
        raised.emplace(std::move(points.error()));
        return;
      }
      PyRef values = PyRef::steal(PyObject_CallOneArg(arguments->f, points->get()));
      if (!values) {
        raised.emplace(magnikit::fetch_pending_error());
        return;
      }
      auto converted = magnikit::extract_float_vector(values.get());
      if (!converted) {
        raised.emplace(std::move(converted.error()));
        return;
      }
      if (converted->size() != y.size()) {
        raised.emplace(ErrorValue::type_error("the integrand gave a value per point"));
        return;
      }
      std::copy(converted->begin(), converted->end(), y.begin());
    };
    return integrate_and_report(integrand, *arguments, raised);
  });
}

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
    {"de_levels", de_levels, METH_NOARGS, "de_levels()\n--\n\n"},
    {"integrate", internals::method(integrate), METH_FASTCALL,
     "integrate(f, a, b, target, levels=7, /)\n--\n\n"},
    {"integrate_in_batches", internals::method(integrate_in_batches), METH_FASTCALL,
     "integrate_in_batches(f, a, b, target, levels=7, /)\n--\n\n"},
    {"interp", internals::method(interp), METH_FASTCALL, "interp(xs, ys, x0, kind, value)\n--\n\n"},
    {"interp_line", internals::method(interp_line), METH_FASTCALL,
     "interp_line(xs, ys, x0, kind, value)\n--\n\n"},
    {"interpolant", internals::method(interpolant), METH_FASTCALL,
     "interpolant(xs, ys, queries, kind, value)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{numeric_methods};

}  // namespace
