// Exposes the model batches to pytest with a chosen number of lanes, so each
// vector path can be compared with the scalar functions bit for bit.
//
//   lane_widths() -> [1, 2, 4]: the widths this build and CPU run
//   heyrovsky_magnifications(l, r, re, rstar, lanes) -> (values, errors)
//
// values holds one float per pair (NaN where the model failed), errors the
// failure's message or "" for a value.
#include "internals.hpp"

#include <cstddef>
#include <utility>

#include "models/ring.hpp"
#include "numeric/lanes.hpp"

namespace {

using internals::ErrorValue;
using internals::PyRef;
using internals::PyResult;
using internals::raise_later;
using magnikit::Computed;
using magnikit::FloatVector;

PyRef new_list(std::size_t size) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
  if (!list) magnikit::python_api_call_failed();
  return list;
}

PyRef new_string(std::string_view text) {
  PyRef string =
      PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!string) magnikit::python_api_call_failed();
  return string;
}

// (values, errors) of a batch's results.
PyResult<PyRef> to_values_and_errors(const std::vector<Computed<double>>& results) {
  PyRef values = new_list(results.size());
  PyRef errors = new_list(results.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    const double value = results[i] ? *results[i] : std::numeric_limits<double>::quiet_NaN();
    const std::string_view message = results[i] ? std::string_view() : results[i].error().message;
    PyList_SET_ITEM(values.get(), static_cast<Py_ssize_t>(i), magnikit::to_python(value).release());
    PyList_SET_ITEM(errors.get(), static_cast<Py_ssize_t>(i), new_string(message).release());
  }
  PyRef pair = PyRef::steal(PyTuple_Pack(2, values.get(), errors.get()));
  if (!pair) magnikit::python_api_call_failed();
  return pair;
}

PyResult<magnikit::lanes::Width> to_width(PyObject* object) {
  const long lanes = PyLong_AsLong(object);
  if (lanes == -1) {
    if (auto error = magnikit::take_pending_error()) return raise_later(*std::move(error));
  }
  if (lanes != 1 && lanes != 2 && lanes != 4) {
    return raise_later(ErrorValue::type_error("lanes must be 1, 2 or 4"));
  }
  return static_cast<magnikit::lanes::Width>(lanes);
}

PyObject* lane_widths(PyObject*, PyObject*) {
  return magnikit::guarded([]() -> PyResult<PyRef> {
    PyRef widths = new_list(0);
    for (const auto width : {magnikit::lanes::Width::one, magnikit::lanes::Width::two,
                             magnikit::lanes::Width::four}) {
      if (!magnikit::lanes::available(width)) continue;
      PyRef number = PyRef::steal(PyLong_FromLong(static_cast<long>(width)));
      if (!number || PyList_Append(widths.get(), number.get()) < 0) {
        magnikit::python_api_call_failed();
      }
    }
    return widths;
  });
}

PyObject* heyrovsky_magnifications(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments("heyrovsky_magnifications", 5, nargs);
        !counted) {
      return raise_later(std::move(counted.error()));
    }
    auto l = magnikit::extract_float_vector(args[0]);
    if (!l) return raise_later(std::move(l.error()));
    auto r = magnikit::extract_float_vector(args[1]);
    if (!r) return raise_later(std::move(r.error()));
    auto sizes = internals::doubles<2>(args + 2);
    if (!sizes) return raise_later(std::move(sizes.error()));
    auto width = to_width(args[4]);
    if (!width) return raise_later(std::move(width.error()));
    if (l->size() != r->size()) {
      return raise_later(ErrorValue::type_error("l and r differ in length"));
    }
    std::vector<Computed<double>> results(l->size());
    const auto [re, rstar] = *sizes;
    magnikit::heyrovsky_magnifications(*l, *r, re, rstar, results, *width);
    return to_values_and_errors(results);
  });
}

PyMethodDef lanes_methods[] = {
    {"lane_widths", lane_widths, METH_NOARGS, "lane_widths()\n--\n\n"},
    {"heyrovsky_magnifications", internals::method(heyrovsky_magnifications), METH_FASTCALL,
     "heyrovsky_magnifications(l, r, re, rstar, lanes)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{lanes_methods};

}  // namespace
