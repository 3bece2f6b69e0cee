// A model evaluated at many pairs of arguments, a vector of lanes at a
// time, on the fastest path this CPU runs (or the one asked for).
//
// A model is a type with
//   template <class T> void lanes(const double* a, const double* b,
//                                 Computed<double>* out, std::size_t live) const;
//       one vector of pairs (a[i], b[i]): out[i] for the first `live` lanes,
//       the others being spare copies of the last pair;
//   Computed<double> one(double a, double b) const;
//       the scalar model at one pair.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "core/computation.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// All pairs, a vector at a time; the last vector's spare lanes repeat the
// last pair. A last pair alone takes the scalar model, which costs no more
// than a vector.
template <class T, class Model>
MAGNIKIT_KERNEL void in_vectors(const Model& model, std::span<const double> a,
                                std::span<const double> b, std::span<Computed<double>> out) {
  constexpr std::size_t LANES = lanes::count<T>;
  const std::size_t size = std::min({a.size(), b.size(), out.size()});
  std::size_t i = 0;
  for (; i + LANES <= size; i += LANES) model.template lanes<T>(&a[i], &b[i], &out[i], LANES);
  if (i == size) return;
  if (i + 1 == size) {
    out[i] = model.one(a[i], b[i]);
    return;
  }
  double a_padded[LANES];
  double b_padded[LANES];
  for (std::size_t j = 0; j < LANES; ++j) {
    a_padded[j] = a[std::min(i + j, size - 1)];
    b_padded[j] = b[std::min(i + j, size - 1)];
  }
  model.template lanes<T>(a_padded, b_padded, &out[i], size - i);
}

#if defined(MAGNIKIT_LANES_X86_64)
// Four lanes in one AVX2 vector, compiled for AVX2 with every kernel inlined
// into it, so that no AVX2 code is shared with the baseline functions. Each
// model's instance lives in the model's own file.
template <class Model>
MAGNIKIT_AVX2 __attribute__((flatten)) void in_avx2_vectors(const Model& model,
                                                             std::span<const double> a,
                                                             std::span<const double> b,
                                                             std::span<Computed<double>> out) {
  in_vectors<lanes::Double4>(model, a, b, out);
}
#endif

// out[i] = the model at (a[i], b[i]), bit for bit the scalar model's result
// on every path. A path this CPU cannot run gives way to the active one; a
// single pair takes the scalar model.
template <class Model>
void evaluate_in_lanes(const Model& model, std::span<const double> a, std::span<const double> b,
                       std::span<Computed<double>> out, lanes::Path path) {
  if (!lanes::available(path)) path = lanes::active_path();
  const std::size_t size = std::min({a.size(), b.size(), out.size()});
  if (size < 2) path = lanes::Path::scalar;
  switch (path) {
#if defined(MAGNIKIT_LANES_X86_64)
    case lanes::Path::avx2:
      return in_avx2_vectors(model, a, b, out);
#endif
#if defined(MAGNIKIT_VECTOR_LANES)
    case lanes::Path::baseline:
      return in_vectors<lanes::Pair<lanes::Double2>>(model, a, b, out);
#endif
    default:
      for (std::size_t i = 0; i < size; ++i) out[i] = model.one(a[i], b[i]);
  }
}

}  // namespace magnikit
