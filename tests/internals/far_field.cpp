// Exposes the far-field series and the brightness moments it weights its
// terms with to pytest.
#include "internals.hpp"

#include <algorithm>
#include <utility>

#include "models/far_field.hpp"

namespace {

using internals::ErrorValue;
using internals::PyRef;
using internals::PyResult;
using internals::raise_later;

magnikit::FloatVector as_vector(const magnikit::BrightnessMoments& moments) {
  return magnikit::FloatVector(moments.begin(), moments.end());
}

// far_field_constants() -> (threshold in source radii, number of terms)
PyObject* far_field_constants(PyObject*, PyObject*) {
  return magnikit::guarded([]() -> PyResult<PyRef> {
    PyRef tuple = PyRef::steal(
        Py_BuildValue("(di)", magnikit::FAR_FIELD_SEPARATION, magnikit::FAR_FIELD_TERMS));
    if (!tuple) magnikit::python_api_call_failed();
    return tuple;
  });
}

// linear_law_moments() -> [M_1, ...] of the built-in limb-darkening law
PyObject* linear_law_moments(PyObject*, PyObject*) {
  return magnikit::guarded([]() -> PyResult<PyRef> {
    return magnikit::to_python(
        as_vector(magnikit::brightness_moments(magnikit::linear_limb_darkening)));
  });
}

// sampled_profile_moments(bl, bf) -> [M_1, ...] of the interpolated profile
PyObject* sampled_profile_moments(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments("sampled_profile_moments", 2, nargs);
        !counted) {
      return raise_later(std::move(counted.error()));
    }
    auto bl = magnikit::extract_float_vector(args[0]);
    if (!bl) return raise_later(std::move(bl.error()));
    auto bf = magnikit::extract_float_vector(args[1]);
    if (!bf) return raise_later(std::move(bf.error()));
    const magnikit::SampledProfile profile{*bl, *bf};
    return magnikit::to_python(as_vector(magnikit::brightness_moments(profile)));
  });
}

// far_field_magnification(u, h, moments) -> float
PyObject* far_field_magnification(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments("far_field_magnification", 3, nargs);
        !counted) {
      return raise_later(std::move(counted.error()));
    }
    auto uh = internals::doubles<2>(args);
    if (!uh) return raise_later(std::move(uh.error()));
    auto given = magnikit::extract_float_vector(args[2]);
    if (!given) return raise_later(std::move(given.error()));
    if (given->size() != magnikit::FAR_FIELD_TERMS) {
      return raise_later(ErrorValue::type_error("one moment per term expected"));
    }
    magnikit::BrightnessMoments moments{};
    std::copy(given->begin(), given->end(), moments.begin());
    return magnikit::to_python(magnikit::far_field_magnification((*uh)[0], (*uh)[1], moments));
  });
}

PyMethodDef far_field_methods[] = {
    {"far_field_constants", far_field_constants, METH_NOARGS, "far_field_constants()\n--\n\n"},
    {"linear_law_moments", linear_law_moments, METH_NOARGS, "linear_law_moments()\n--\n\n"},
    {"sampled_profile_moments", internals::method(sampled_profile_moments), METH_FASTCALL,
     "sampled_profile_moments(bl, bf)\n--\n\n"},
    {"far_field_magnification", internals::method(far_field_magnification), METH_FASTCALL,
     "far_field_magnification(u, h, moments)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{far_field_methods};

}  // namespace
