// Exposes the model batches to pytest on a chosen path, so each vector path
// can be compared with the scalar functions bit for bit.
//
//   lane_paths() -> ["scalar", "baseline", "avx2"]: the paths this build and
//       CPU run, slowest first
//   active_lane_path() -> the path the batches take by default in this
//       process (MAGNIKIT_LANES can force one)
//   heyrovsky_magnifications(l, r, re, rstar, path) -> (values, errors)
//   uniform_disc_magnifications(l, rstar, re, path) -> (values, errors)
//
// values holds one float per pair (NaN where the model failed), errors the
// failure's message or "" for a value.
#include "internals.hpp"

#include <array>
#include <cstddef>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "models/ring.hpp"
#include "models/uniform_source.hpp"
#include "numeric/lanes.hpp"

namespace {

using internals::ErrorValue;
using internals::new_list;
using internals::PyRef;
using internals::PyResult;
using internals::raise_later;
using magnikit::Computed;
using magnikit::FloatVector;

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
    auto item = magnikit::to_python(value);
    if (!item) return raise_later(std::move(item.error()));
    PyList_SET_ITEM(values.get(), static_cast<Py_ssize_t>(i), item->release());
    PyList_SET_ITEM(errors.get(), static_cast<Py_ssize_t>(i), new_string(message).release());
  }
  PyRef pair = PyRef::steal(PyTuple_Pack(2, values.get(), errors.get()));
  if (!pair) magnikit::python_api_call_failed();
  return pair;
}

constexpr std::array<std::pair<std::string_view, magnikit::lanes::Path>, 3> PATHS{{
    {"scalar", magnikit::lanes::Path::scalar},
    {"baseline", magnikit::lanes::Path::baseline},
    {"avx2", magnikit::lanes::Path::avx2},
}};

PyResult<magnikit::lanes::Path> to_path(PyObject* object) {
  Py_ssize_t size = 0;
  const char* text = PyUnicode_Check(object) ? PyUnicode_AsUTF8AndSize(object, &size) : nullptr;
  if (text != nullptr) {
    for (const auto& [name, path] : PATHS) {
      if (name == std::string_view(text, static_cast<std::size_t>(size))) {
        if (!magnikit::lanes::available(path)) break;
        return path;
      }
    }
  }
  if (auto error = magnikit::take_pending_error()) return raise_later(*std::move(error));
  return raise_later(ErrorValue::type_error("path must be one of lane_paths()"));
}

PyObject* lane_paths(PyObject*, PyObject*) {
  return magnikit::guarded([]() -> PyResult<PyRef> {
    PyRef names = new_list(0);
    for (const auto& [name, path] : PATHS) {
      if (!magnikit::lanes::available(path)) continue;
      if (PyList_Append(names.get(), new_string(name).get()) < 0) {
        magnikit::python_api_call_failed();
      }
    }
    return names;
  });
}

PyObject* active_lane_path(PyObject*, PyObject*) {
  return magnikit::guarded([]() -> PyResult<PyRef> {
    const magnikit::lanes::Path active = magnikit::lanes::active_path();
    for (const auto& [name, path] : PATHS) {
      if (path == active) return new_string(name);
    }
    return raise_later(ErrorValue::type_error("unnamed path"));
  });
}

// A batch of the form (l, a, re-or-rstar, other size, path) over pairs
// (l[i], a[i]): the ring batch takes (l, r, re, rstar), the disc batch
// (l, rstar, re).
template <std::size_t SIZES, class Batch>
PyObject* pairs_batch(const char* name, PyObject* const* args, Py_ssize_t nargs, Batch batch) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments(name, 3 + SIZES, nargs); !counted) {
      return raise_later(std::move(counted.error()));
    }
    auto l = magnikit::extract_float_vector(args[0]);
    if (!l) return raise_later(std::move(l.error()));
    auto a = magnikit::extract_float_vector(args[1]);
    if (!a) return raise_later(std::move(a.error()));
    auto sizes = internals::doubles<SIZES>(args + 2);
    if (!sizes) return raise_later(std::move(sizes.error()));
    auto path = to_path(args[2 + SIZES]);
    if (!path) return raise_later(std::move(path.error()));
    if (l->size() != a->size()) {
      return raise_later(ErrorValue::type_error("the two vectors differ in length"));
    }
    std::vector<Computed<double>> results(l->size());
    batch(*l, *a, *sizes, results, *path);
    return to_values_and_errors(results);
  });
}

PyObject* heyrovsky_magnifications(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return pairs_batch<2>("heyrovsky_magnifications", args, nargs,
                        [](const FloatVector& l, const FloatVector& r, std::array<double, 2> sizes,
                           std::vector<Computed<double>>& out, magnikit::lanes::Path path) {
                          magnikit::heyrovsky_magnifications(l, r, sizes[0], sizes[1], out, path);
                        });
}

PyObject* uniform_disc_magnifications(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return pairs_batch<1>("uniform_disc_magnifications", args, nargs,
                        [](const FloatVector& l, const FloatVector& rstar,
                           std::array<double, 1> re, std::vector<Computed<double>>& out,
                           magnikit::lanes::Path path) {
                          magnikit::uniform_disc_magnifications(l, rstar, re[0], out, path);
                        });
}

PyMethodDef lanes_methods[] = {
    {"lane_paths", lane_paths, METH_NOARGS, "lane_paths()\n--\n\n"},
    {"active_lane_path", active_lane_path, METH_NOARGS, "active_lane_path()\n--\n\n"},
    {"heyrovsky_magnifications", internals::method(heyrovsky_magnifications), METH_FASTCALL,
     "heyrovsky_magnifications(l, r, re, rstar, path)\n--\n\n"},
    {"uniform_disc_magnifications", internals::method(uniform_disc_magnifications),
     METH_FASTCALL, "uniform_disc_magnifications(l, rstar, re, path)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{lanes_methods};

}  // namespace
