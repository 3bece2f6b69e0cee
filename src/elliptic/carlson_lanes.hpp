// The iterations of Carlson's integrals that a batch runs in lanes: the
// arithmetic-geometric mean behind R_F(0, u, v), and the duplication of
// R_J. Each is written once, generic over the lane type (numeric/lanes.hpp):
// the scalar functions of carlson.hpp instantiate them with double, the
// batches with vectors. A lane stops at its own convergence step; the steps
// its neighbours still take leave its values as they were, so each lane
// ends exactly where the scalar loop ends.
//
// Every sum and product is written in the order in which it is rounded, and
// the build never contracts a product into a fused multiply-add.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "core/computation.hpp"
#include "core/constants.hpp"
#include "numeric/lane_computed.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

inline constexpr std::string_view RJ_NO_CONVERGENCE = "elliprj: Fail to converge";

// Relative tolerance of the AGM: 2.7 units of 2^-52.
inline constexpr double AGM_TOLERANCE = 5.995204332975846e-16;

// R_J's duplication stops once the largest deviation of its arguments from
// their mean, times this factor and divided by 4 per step, is below the
// mean: the terms the series leaves out are then below rounding level.
inline constexpr double RJ_SPREAD_FACTOR = 110.67925377307274;  // (2^-52 / 5)^(-1/8)
inline constexpr int RJ_MAX_STEPS = 100;

template <class T>
struct MeanPair {
  T a;
  T b;
};

// Arithmetic-geometric mean of sqrt(u) and sqrt(v) (DLMF 19.8(i)). It
// converges quadratically, so it needs no step limit; a NaN ends it at once.
// on_step(a, b, stepping) sees each new pair as soon as it is formed, with
// the mask of the lanes that took the step. Lanes outside `wanted` take no
// step.
template <class T, class OnStep>
MAGNIKIT_KERNEL MeanPair<T> agm(T u, T v, OnStep&& on_step,
                                lanes::Mask<T> wanted = lanes::all_lanes<T>()) {
  T a = lanes::sqrt(u);
  T b = lanes::sqrt(v);
  lanes::Mask<T> stepping = wanted & (lanes::abs(a - b) >= AGM_TOLERANCE * lanes::abs(a));
  while (lanes::any(stepping)) {
    const T next_a = (a + b) * 0.5;
    const T next_b = lanes::sqrt(a * b);
    a = lanes::select(stepping, next_a, a);
    b = lanes::select(stepping, next_b, b);
    on_step(a, b, stepping);
    stepping = stepping & (lanes::abs(a - b) >= AGM_TOLERANCE * lanes::abs(a));
  }
  return {a, b};
}

// R_F(0, u, v) = pi / (2 AGM(sqrt u, sqrt v)) (DLMF 19.22(i)), in the
// wanted lanes.
template <class T>
MAGNIKIT_KERNEL T elliprf_by_agm(T u, T v, lanes::Mask<T> wanted = lanes::all_lanes<T>()) {
  const MeanPair<T> mean = agm(u, v, [](T, T, lanes::Mask<T>) {}, wanted);
  return PI / (mean.b + mean.a);
}

// The fifth-order series shared by R_D and R_J (Carlson 1995) in the
// elementary symmetric functions E2..E5 of the scaled deviations, summed left
// to right.
template <class T>
MAGNIKIT_KERNEL T series_s12(T e2, T e3, T e4, T e5) {
  return 1 - 3 * e2 / 14 + e3 / 6 + 9 * (e2 * e2) / 88 - 3 * e4 / 22 - 9 * e2 * e3 / 52 +
         3 * e5 / 26 - e2 * e2 * e2 / 16 + 3 * (e3 * e3) / 40 + 3 * e2 * e4 / 20 +
         45 * (e2 * e2) * e3 / 272 - 9 * (e3 * e4 + e2 * e5) / 68;
}

// What the duplication of R_J leaves for its sum, per step and lane: step n
// contributes (4^-n / d) R_C(1, 1 + e), with d the product of the sums
// sqrt(p) + sqrt(x), ... and e = delta / d^2 (Carlson 1995). Where
// -1.5 < e < -0.5 the argument 1 + e cancels, and b is that argument formed
// from the square roots instead (only those steps store it).
template <class T>
struct RjSteps {
  static constexpr std::size_t LANES = lanes::count<T>;
  double quotient[RJ_MAX_STEPS][LANES];  // 4^-n / d
  double e[RJ_MAX_STEPS][LANES];
  double b[RJ_MAX_STEPS][LANES];
  T taken;                     // steps each lane took, as a whole number
  lanes::Mask<T> converged;    // whether the lane stopped within the limit
  T a;                         // the mean, and 4^-n, after the lane's last step
  T f;
};

// R_C(1, 1 + e) of a duplication step whose e is not positive, or NaN, by
// its closed forms (computed one lane at a time: they call the maths
// library); b is the step's R_C argument formed without cancellation, used
// where -1.5 < e < -0.5.
Computed<double> rj_step_rc(double e, double b);

// The duplication of R_J(x, y, z, p) for validated x, y, z >= 0 and p > 0,
// up to RJ_MAX_STEPS steps, recording each step's term. Lanes outside
// `wanted` count as converged before the first step: they take none.
template <class T>
MAGNIKIT_KERNEL void rj_duplicate(T x, T y, T z, T p, T a0, lanes::Mask<T> wanted,
                                  RjSteps<T>& steps) {
  T delta = (p - z) * ((p - x) * (p - y));
  const T spread = lanes::fmax(lanes::fmax(lanes::fmax(lanes::abs(a0 - x), lanes::abs(a0 - y)),
                                           lanes::abs(a0 - z)),
                               lanes::abs(a0 - p)) *
                   RJ_SPREAD_FACTOR;
  T a = a0;
  T f = lanes::splat<T>(1.0);
  T taken = lanes::splat<T>(0.0);
  lanes::Mask<T> converged = !wanted;
  for (int step = 0; step < RJ_MAX_STEPS; ++step) {
    const T sx = lanes::sqrt(x);
    const T sy = lanes::sqrt(y);
    const T sz = lanes::sqrt(z);
    const T sp = lanes::sqrt(p);
    const T d = (sz + sp) * ((sy + sp) * (sx + sp));
    const T e = delta / (d * d);
    lanes::store(steps.quotient[step], f / d);
    lanes::store(steps.e[step], e);
    const lanes::Mask<T> stepping = !converged;
    if (lanes::any(stepping & (-1.5 < e) & (e < -0.5))) {
      lanes::store(steps.b[step], 2 * sp * (sy * sz + (p + sx * (sy + sz))) / d);
    }
    const T lambda = sx * sz + sx * sy + sy * sz;
    f = lanes::select(converged, f, f * 0.25);
    a = lanes::select(converged, a, (a + lambda) * 0.25);
    taken = lanes::select(converged, taken, taken + 1);
    converged = converged | (spread * f < a);
    if (lanes::all(converged)) break;
    x = (x + lambda) * 0.25;
    y = (y + lambda) * 0.25;
    z = (z + lambda) * 0.25;
    p = (p + lambda) * 0.25;
    delta = delta * 0.015625;
  }
  steps.taken = taken;
  steps.converged = converged;
  steps.a = a;
  steps.f = f;
}

// The sum of the steps' terms (4^-n / d) R_C(1, 1 + e) in step order, or
// per lane the first error of R_C. For e > 0, R_C(1, 1 + e) is
// atan(sqrt(e)) / sqrt(e) (DLMF 19.2(iv)), the arctangent taken lane by lane.
template <class T>
MAGNIKIT_KERNEL LaneComputed<T> rj_step_sum(const RjSteps<T>& steps) {
  LaneComputed<T> result;
  T sum = lanes::splat<T>(0.0);
  double most = 0;
  for (std::size_t i = 0; i < RjSteps<T>::LANES; ++i) {
    most = std::max(most, lanes::get(steps.taken, i));
  }
  for (int step = 0; step < most; ++step) {
    const T e = lanes::load<T>(steps.e[step]);
    const lanes::Mask<T> in_use = lanes::splat<T>(step) < steps.taken;
    const lanes::Mask<T> positive = in_use & (e > 0.0);
    T rc = e;
    if (lanes::any(positive)) {
      const T root = lanes::sqrt(e);
      T arctangent = root;
      for (std::size_t i = 0; i < RjSteps<T>::LANES; ++i) {
        if (lanes::holds(positive, i)) lanes::set(arctangent, i, std::atan(lanes::get(root, i)));
      }
      rc = arctangent / root;
    }
    const lanes::Mask<T> others = in_use & !positive;
    if (lanes::any(others)) {
      for (std::size_t i = 0; i < RjSteps<T>::LANES; ++i) {
        if (!lanes::holds(others, i)) continue;
        const Computed<double> value = rj_step_rc(lanes::get(e, i), steps.b[step][i]);
        if (value) {
          lanes::set(rc, i, *value);
        } else if (!result.failed(i)) {
          result.fail(i, value.error());
        }
      }
    }
    sum = lanes::select(in_use, sum + lanes::load<T>(steps.quotient[step]) * rc, sum);
  }
  result.value = sum;
  return result;
}

// R_J(x, y, z, p) for validated x, y, z >= 0 and p > 0 by duplication
// (Carlson 1995): the steps first, then their R_C terms summed in step
// order, then the series in the deviations left after the last step. An
// R_C error at any step taken comes before non-convergence. Only the wanted
// lanes are evaluated (the others call no maths-library function).
template <class T>
MAGNIKIT_KERNEL LaneComputed<T> _elliprj(T x, T y, T z, T p,
                                         lanes::Mask<T> wanted = lanes::all_lanes<T>()) {
  const T a0 = (((x + y) + z) + 2 * p) / 5;
  RjSteps<T> steps;
  rj_duplicate(x, y, z, p, a0, wanted, steps);

  LaneComputed<T> result = rj_step_sum(steps);
  for (std::size_t i = 0; i < RjSteps<T>::LANES; ++i) {
    if (!result.failed(i) && !lanes::holds(steps.converged, i)) {
      result.fail(i, ComputationError{RJ_NO_CONVERGENCE});
    }
  }
  const T sum = result.value;

  const T f = steps.f;
  const T a = steps.a;
  const T dx = (a0 - x) * f / a;
  const T dy = (a0 - y) * f / a;
  const T dz = (a0 - z) * f / a;
  const T dp = (-dx - dy - dz) * 0.5;
  const T e2 = dx * dy + dx * dz + dy * dz - 3 * (dp * dp);
  const T e3 = dx * dy * dz + 2 * e2 * dp + 4 * (dp * dp * dp);
  const T e4 = (2 * dx * dy * dz + e2 * dp + 3 * (dp * dp * dp)) * dp;
  const T e5 = dx * dy * dz * (dp * dp);
  const T scale = lanes::each(wanted, a, [](double mean) { return std::pow(mean, -1.5); });
  result.value = f * scale * series_s12(e2, e3, e4, e5) + 6 * sum;
  return result;
}

}  // namespace magnikit
