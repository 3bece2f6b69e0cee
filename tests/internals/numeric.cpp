// Exposes the tanh-sinh quadrature, its node table and the piecewise-linear
// interpolation to pytest.
#include "internals.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "numeric/de_levels.hpp"
#include "numeric/interpolation.hpp"
#include "numeric/quadrature.hpp"

namespace {

// de_levels() -> [[(weight, abscissa), ...], ...], one list per level.
PyObject* de_levels(PyObject*, PyObject*) {
  PyObject* levels = PyList_New(static_cast<Py_ssize_t>(magnikit::DE_LEVELS.size()));
  if (levels == nullptr) return nullptr;
  for (std::size_t l = 0; l < magnikit::DE_LEVELS.size(); ++l) {
    const auto level = magnikit::DE_LEVELS[l];
    PyObject* entries = PyList_New(static_cast<Py_ssize_t>(level.size()));
    if (entries == nullptr) {
      Py_DECREF(levels);
      return nullptr;
    }
    PyList_SET_ITEM(levels, static_cast<Py_ssize_t>(l), entries);
    for (std::size_t i = 0; i < level.size(); ++i) {
      PyObject* entry = Py_BuildValue("(dd)", level[i].weight, level[i].abscissa);
      if (entry == nullptr) {
        Py_DECREF(levels);
        return nullptr;
      }
      PyList_SET_ITEM(entries, static_cast<Py_ssize_t>(i), entry);
    }
  }
  return levels;
}

// The first Python exception raised by the integrand. Once one is held the
// callable is not called again (calling into Python with an exception pending
// is not allowed); the quadrature sees NaN, and the exception is raised again
// when integrate returns.
struct PendingException {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  bool held() const { return type != nullptr; }
  void fetch() { PyErr_Fetch(&type, &value, &traceback); }
  void restore() {
    PyErr_Restore(type, value, traceback);
    type = value = traceback = nullptr;
  }
};

// integrate(f, a, b, target) -> (estimated_error, integral, evaluations)
PyObject* integrate(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 4) {
    PyErr_Format(PyExc_TypeError, "integrate() takes 4 arguments (%zd given)", nargs);
    return nullptr;
  }
  PyObject* callable = args[0];
  double limits[3];
  for (int i = 0; i < 3; ++i) {
    limits[i] = PyFloat_AsDouble(args[i + 1]);
    if (limits[i] == -1.0 && PyErr_Occurred()) return nullptr;
  }

  PendingException pending;
  const auto integrand = [&](double x) -> double {
    constexpr double failed = std::numeric_limits<double>::quiet_NaN();
    if (pending.held()) return failed;
    PyObject* argument = PyFloat_FromDouble(x);
    PyObject* result = argument == nullptr ? nullptr : PyObject_CallOneArg(callable, argument);
    Py_XDECREF(argument);
    double y = failed;
    if (result != nullptr) {
      y = PyFloat_AsDouble(result);
      Py_DECREF(result);
    }
    if (PyErr_Occurred()) {
      pending.fetch();
      return failed;
    }
    return y;
  };
  const magnikit::QuadratureResult result =
      magnikit::integrate(integrand, limits[0], limits[1], limits[2]);
  if (pending.held()) {
    pending.restore();
    return nullptr;
  }
  return Py_BuildValue("(ddI)", result.estimated_error, result.integral,
                       static_cast<unsigned int>(result.evaluations));
}

// A float sequence argument as a vector of doubles; false with an exception set.
bool to_doubles(PyObject* sequence, std::vector<double>& out) {
  PyObject* fast = PySequence_Fast(sequence, "expected a sequence of floats");
  if (fast == nullptr) return false;
  const Py_ssize_t size = PySequence_Fast_GET_SIZE(fast);
  out.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    const double value = PyFloat_AsDouble(PySequence_Fast_GET_ITEM(fast, i));
    if (value == -1.0 && PyErr_Occurred()) {
      Py_DECREF(fast);
      return false;
    }
    out.push_back(value);
  }
  Py_DECREF(fast);
  return true;
}

// interp(xs, ys, x0, kind, value) -> float
PyObject* interp(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 5) {
    PyErr_Format(PyExc_TypeError, "interp() takes 5 arguments (%zd given)", nargs);
    return nullptr;
  }
  std::vector<double> xs, ys;
  if (!to_doubles(args[0], xs) || !to_doubles(args[1], ys)) return nullptr;
  const double x0 = PyFloat_AsDouble(args[2]);
  if (x0 == -1.0 && PyErr_Occurred()) return nullptr;
  const unsigned long kind = PyLong_AsUnsignedLong(args[3]);
  if (kind == static_cast<unsigned long>(-1) && PyErr_Occurred()) return nullptr;
  if (kind > 0xFFFFFFFFul) {
    PyErr_SetString(PyExc_OverflowError, "kind does not fit in 32 bits");
    return nullptr;
  }
  const double value = PyFloat_AsDouble(args[4]);
  if (value == -1.0 && PyErr_Occurred()) return nullptr;
  const magnikit::OutOfRangeMode mode{static_cast<std::uint32_t>(kind), value};
  return PyFloat_FromDouble(magnikit::interp(xs, ys, x0, mode));
}

PyMethodDef numeric_methods[] = {
    {"de_levels", de_levels, METH_NOARGS, "de_levels()\n--\n\n"},
    {"integrate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(integrate)),
     METH_FASTCALL, "integrate(f, a, b, target)\n--\n\n"},
    {"interp", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(interp)),
     METH_FASTCALL, "interp(xs, ys, x0, kind, value)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{numeric_methods};

}  // namespace
