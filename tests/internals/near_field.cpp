// Exposes the nodes of the near field's rule over the source radius to
// pytest and to the benchmarks that count them.
#include "internals.hpp"

#include <utility>
#include <vector>

#include "models/radius_nodes.hpp"

namespace {

using internals::PyRef;
using internals::PyResult;
using internals::raise_later;

// law_nodes(l, eps) -> (x, mu, variable, weight, area, in_x): the nodes of a
// law's piece [0, 1] for the lens at l, the first in_x in x, the rest in v.
PyObject* law_nodes(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments("law_nodes", 2, nargs); !counted) {
      return raise_later(std::move(counted.error()));
    }
    auto arguments = internals::doubles<2>(args);
    if (!arguments) return raise_later(std::move(arguments.error()));
    const auto [l, eps] = *arguments;
    std::vector<magnikit::Cell> cells;
    magnikit::LawNodes nodes;
    magnikit::law_nodes(l, eps, cells, nodes);
    auto x = magnikit::to_python(nodes.x);
    if (!x) return raise_later(std::move(x.error()));
    auto mu = magnikit::to_python(nodes.mu);
    if (!mu) return raise_later(std::move(mu.error()));
    auto variable = magnikit::to_python(nodes.variable);
    if (!variable) return raise_later(std::move(variable.error()));
    auto weight = magnikit::to_python(nodes.weight);
    if (!weight) return raise_later(std::move(weight.error()));
    auto area = magnikit::to_python(nodes.area);
    if (!area) return raise_later(std::move(area.error()));
    PyRef in_x = PyRef::steal(PyLong_FromSize_t(nodes.in_x));
    if (!in_x) magnikit::python_api_call_failed();
    PyRef result = PyRef::steal(PyTuple_Pack(6, x->get(), mu->get(), variable->get(),
                                             weight->get(), area->get(), in_x.get()));
    if (!result) magnikit::python_api_call_failed();
    return result;
  });
}

// piece_nodes(l, eps, a, b) -> (x, weight): the nodes of the piece [a, b] of
// a sampled profile for the lens at l, the weight negative on a part taken
// away.
PyObject* piece_nodes(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return magnikit::guarded([&]() -> PyResult<PyRef> {
    if (auto counted = internals::expect_arguments("piece_nodes", 4, nargs); !counted) {
      return raise_later(std::move(counted.error()));
    }
    auto arguments = internals::doubles<4>(args);
    if (!arguments) return raise_later(std::move(arguments.error()));
    const auto [l, eps, a, b] = *arguments;
    std::vector<magnikit::Cell> cells;
    magnikit::PieceNodes nodes;
    magnikit::piece_nodes(magnikit::FluxSingularities(l, eps), a, b, cells, nodes);
    auto xs = magnikit::to_python(nodes.x);
    if (!xs) return raise_later(std::move(xs.error()));
    auto weights = magnikit::to_python(nodes.weight);
    if (!weights) return raise_later(std::move(weights.error()));
    PyRef result = PyRef::steal(PyTuple_Pack(2, xs->get(), weights->get()));
    if (!result) magnikit::python_api_call_failed();
    return result;
  });
}

PyMethodDef near_field_methods[] = {
    {"law_nodes", internals::method(law_nodes), METH_FASTCALL, "law_nodes(l, eps)\n--\n\n"},
    {"piece_nodes", internals::method(piece_nodes), METH_FASTCALL,
     "piece_nodes(l, eps, a, b)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

internals::Registrar registrar{near_field_methods};

}  // namespace
