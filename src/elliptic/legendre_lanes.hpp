// The complete Legendre integrals on their general path, generic over the
// lane type (numeric/lanes.hpp): K(m) and E(m) as polynomials in t = 1 - m
// with a logarithmic term, and Pi(n, m) from R_F by the AGM and R_J by
// duplication. legendre.cpp instantiates them with double for the scalar
// functions, the model batches with vectors for the lanes that
// general_complements() admits; a lane it does not admit takes the scalar
// function and its special cases.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "core/constants.hpp"
#include "elliptic/carlson_lanes.hpp"
#include "numeric/lane_computed.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {

// Coefficients of t^0, t^1, ... of the minimax approximations of K and E,
// of the form P(t) - log(t) Q(t) for K and P(t) - log(t) t Q(t) for E, with
// t = 1 - m (DLMF 19.12 for the logarithmic singularity at m = 1).
inline constexpr std::array<double, 11> K_P{
    1.3862943611198906,    0.09657359028116902,   0.0308851465246712,
    0.014938044891680526,  0.008790782739527438,  0.006189010336376876,
    0.006874896874499499,  0.00985821379021226,   0.007974040132204152,
    0.002280257240058756,  0.00013798286460627325};
inline constexpr std::array<double, 11> K_Q{
    0.5,                   0.12499999999987083,   0.07031249969639575,
    0.04882803475709983,   0.037377431417382326,  0.030120471522760404,
    0.023908960271592488,  0.01548505166497624,   0.005940583037531678,
    0.0009141847238659173, 2.940789550485985e-05};
inline constexpr std::array<double, 11> E_P{
    1,                     0.44314718056099084,   0.05680519456178606,
    0.021831799601555724,  0.011568843681057412,  0.007583952894135147,
    0.007773954925167871,  0.010735094905607619,  0.008687868165658896,
    0.0025088849216360204, 0.0001535525773010133};
inline constexpr std::array<double, 10> E_Q{
    0.2499999999998883,    0.09374999971976443,   0.0585936634471101,
    0.04271809265189315,   0.03348339048882249,   0.026176974245449364,
    0.016886216399331133,  0.006506094899769275,  0.0010096279267935672,
    3.2795489857648585e-05};

// Horner's rule from the highest coefficient down.
template <class T, std::size_t N>
MAGNIKIT_KERNEL T horner(const std::array<double, N>& coefficients, T t) {
  T value = lanes::splat<T>(coefficients[N - 1]);
  for (std::size_t i = N - 1; i-- > 0;) value = value * t + coefficients[i];
  return value;
}

// log(t), lane by lane from the maths library, in the wanted lanes.
template <class T>
MAGNIKIT_KERNEL T log_of(T t, lanes::Mask<T> wanted) {
  return lanes::each(wanted, t, [](double x) { return std::log(x); });
}

inline constexpr double LN_4 = 1.3862943611198906;

// K and E from t = 1 - m and log(t), for 0 < t <= 1. The two share the
// logarithm where both are wanted. Below t = 2^-52 (the machine epsilon) the
// approximation of K is replaced by its limit K ~ ln 4 - ln(t) / 2
// (DLMF 19.12), exact to double precision there.
template <class T>
MAGNIKIT_KERNEL T ellipk_from_log(T t, T log_t) {
  return lanes::select(t < MACHINE_EPSILON, LN_4 - 0.5 * log_t,
                       horner(K_P, t) - log_t * horner(K_Q, t));
}
template <class T>
MAGNIKIT_KERNEL T ellipe_from_log(T t, T log_t) {
  return horner(E_P, t) - log_t * t * horner(E_Q, t);
}

// Pi(n, m) = R_F(0, 1 - m, 1) + (n / 3) R_J(0, 1 - m, 1, 1 - n)
// (DLMF 19.25(i)), from the two Carlson values.
template <class T>
MAGNIKIT_KERNEL T pi_from_carlson(T f, T j, T n) {
  return f + j * n / 3;
}

// The lanes on which K and Pi, given the complements mc = 1 - m and
// nc = 1 - n (formed by the caller, or as 1 - m and 1 - n), take their
// general path with none of the special cases of the scalar functions: K
// from mc and its logarithm, Pi R_F(0, mc, 1) by the AGM plus
// R_J(0, mc, 1, nc) by duplication. That is 0 < mc < 1 (at mc = 1 the
// arguments of R_F coincide) and 0 < nc < 1 (at nc = 1 those of R_J do). For
// complements formed as 1 - m and 1 - n it is the same as 0 < m < 1 and
// 0 < n < 1 with neither complement rounding to 1. NaN fails every test.
template <class T>
MAGNIKIT_KERNEL lanes::Mask<T> general_complements(T nc, T mc) {
  return (0.0 < mc) & (mc < 1.0) & (0.0 < nc) & (nc < 1.0);
}

// What a model gives K, E and Pi in each lane: the characteristic n and the
// complements nc = 1 - n and mc = 1 - m.
template <class T>
struct LegendreArguments {
  T n;
  T nc;
  T mc;
};

// The arguments from n and m, formed as 1 - n and 1 - m.
template <class T>
MAGNIKIT_KERNEL LegendreArguments<T> from_parameters(T n, T m) {
  return {n, 1.0 - n, 1.0 - m};
}

// In the lanes near the edge (the ring through the lens, the rim), the
// complements the model formed directly instead, and n = 1 - nc.
template <class T>
MAGNIKIT_KERNEL void take_complements(LegendreArguments<T>& arguments, lanes::Mask<T> near_edge,
                                      T nc, T mc) {
  arguments.nc = lanes::select(near_edge, nc, arguments.nc);
  arguments.mc = lanes::select(near_edge, mc, arguments.mc);
  arguments.n = lanes::select(near_edge, 1.0 - nc, arguments.n);
}

// The lanes among the candidates whose arguments take the general path;
// the other lanes get harmless arguments, so that their place in the vector
// costs no iteration.
template <class T>
MAGNIKIT_KERNEL lanes::Mask<T> general_lanes(LegendreArguments<T>& arguments,
                                             lanes::Mask<T> candidates) {
  const lanes::Mask<T> general = candidates & general_complements(arguments.nc, arguments.mc);
  if (lanes::any(general)) {
    const T harmless = lanes::splat<T>(0.5);
    arguments.n = lanes::select(general, arguments.n, harmless);
    arguments.nc = lanes::select(general, arguments.nc, harmless);
    arguments.mc = lanes::select(general, arguments.mc, harmless);
  }
  return general;
}

// Pi(n, m) on the general path, from n and the complements nc = 1 - n and
// mc = 1 - m (n itself only scales a term: the caller passes the n it has),
// in the wanted lanes.
template <class T>
MAGNIKIT_KERNEL LaneComputed<T> ellippi_general(T n, T nc, T mc, lanes::Mask<T> wanted) {
  const T f = elliprf_by_agm(lanes::splat<T>(1.0), mc, wanted);  // R_F(0, mc, 1)
  LaneComputed<T> j = _elliprj(lanes::splat<T>(0.0), mc, lanes::splat<T>(1.0), nc, wanted);
  j.value = pi_from_carlson(f, j.value, n);
  return j;
}

}  // namespace magnikit
