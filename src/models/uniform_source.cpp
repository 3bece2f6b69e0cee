// Witt and Mao's closed form for a uniformly bright disc (1994, ApJ 430,
// 505) in K(m), E(m) and Pi(n, m), taken in the complementary parameters
// near the rim, and their separate closed form for the lens on the rim.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never fuses a multiply and an add, so each result
// is reproducible to the last bit and agrees with the reference tables. Some
// forms look roundabout for that reason: q + q and d * d + d * d are the
// doubled terms 2 rho^2 and 2 d^2 of the published form, and the final
// division by pi is the sum of two quotients (see below).
//
// The closed form is written once, generic over the lane type: the scalar
// function takes it with double, the batch with vectors of discs.
#include "models/uniform_source.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/constants.hpp"
#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"
#include "elliptic/legendre_lanes.hpp"
#include "models/far_field.hpp"
#include "models/point_lens.hpp"
#include "models/source_sizes.hpp"
#include "numeric/lane_batch.hpp"
#include "numeric/lane_computed.hpp"
#include "numeric/lanes.hpp"

namespace magnikit {
namespace {

// The source radius rho in Einstein radii (from a source radius rstar and
// the Einstein radius re in one length unit), rho^2, and the half-width of
// the band about the rim in which the integrals take the complements.
template <class T>
struct DiscSize {
  DiscSize(double re, const T& rstar)
      : rho(rstar / re),
        q(rho * rho),
        // A fixed fraction of the source radius: 1 - n = (d / s)^2 sets the
        // cancellation, and s is about 2 rho near the rim.
        band(RIM_BAND * lanes::abs(rho)) {}
  T rho;
  T q;
  T band;
};

// Whether the closed form is evaluated as written for a disc of radius rho
// (false for NaN).
inline bool closed_form_holds(double rho) {
  return rho >= DISC_CLOSED_FORM_SMALLEST_RHO && rho <= DISC_CLOSED_FORM_LARGEST_RHO;
}

// The disc of radius rho with the lens at l source radii: u = rho l, in
// Einstein radii, d = u - rho, s = rho + u and w = sqrt(d^2 + 4).
template <class T>
struct Disc {
  Disc(const T& rho_, const T& q_, const T& l)
      : rho(rho_), q(q_), u(rho_ * l), d(u - rho_), s(rho_ + u), w(lanes::sqrt(d * d + 4.0)) {}

  // n = 4 u rho / s^2.
  T characteristic() const { return ((rho * 4.0) * u) / (s * s); }
  // m = 4 n / (d^2 + 4), formed by squaring the modulus k, not directly.
  T parameter(T n) const {
    const T k = lanes::sqrt(n * 4.0) / w;
    return k * k;
  }

  // Near the rim both n and m approach 1, and the integrals depend on the
  // digits of 1 - n and 1 - m that forming n and m would round away. Both
  // complements are products: 1 - n = (d / s)^2 and
  // 1 - m = (1 - n) (s^2 + 4) / (d^2 + 4).
  struct Complements {
    T nc;
    T mc;
  };
  Complements complements() const {
    const T ratio = d / s;
    const T nc = ratio * ratio;
    return {nc, nc * ((s * s + 4.0) / (d * d + 4.0))};
  }

  T magnification(T E, T K, T P) const {
    const T c_E = (s * w) / (q + q);
    const T c_K = (d * (4.0 + (u * u - q) * 0.5)) / (q * w);
    const T c_P = ((q + 1.0) * (d * d + d * d)) / ((q * s) * w);
    const T S = (c_E * E - c_K * K) + c_P * P;
    // Mathematically S / pi. It is evaluated as (S + pi)/2pi + (S - pi)/2pi,
    // the sum of two quotients, because that is the evaluation every
    // released result and the reference tables carry; S / pi can differ in
    // the last bit.
    return at_least_one((S + PI) / TWO_PI + (S - PI) / TWO_PI);
  }

  T rho, q, u, d, s, w;
};

// E(m), K(m) and Pi(n, m) of the closed form.
struct DiscIntegrals {
  double E;
  double K;
  double P;
};

Computed<DiscIntegrals> integrals_in_parameters(const Disc<double>& disc) {
  const double n = disc.characteristic();
  const double m = disc.parameter(n);
  const auto E = ellipe(m);
  if (!E) return std::unexpected(E.error());
  const auto K = ellipk(m);
  if (!K) return std::unexpected(K.error());
  const auto P = ellippi(n, m);
  if (!P) return std::unexpected(P.error());
  return DiscIntegrals{*E, *K, *P};
}

Computed<DiscIntegrals> integrals_in_complements(const Disc<double>& disc) {
  const auto [nc, mc] = disc.complements();
  const auto E = ellipe_complementary(mc);
  if (!E) return std::unexpected(E.error());
  const auto K = ellipk_complementary(mc);
  if (!K) return std::unexpected(K.error());
  const auto P = ellippi_complementary(nc, mc);
  if (!P) return std::unexpected(P.error());
  return DiscIntegrals{*E, *K, *P};
}

// Discs (l, rstar), each of its own size, in lanes. Near the rim and off it
// alike, E, K and Pi take the same general path, from the complements or
// from the parameters (E and K share the logarithm); the lanes off it (the
// far field, the lens on the rim, parameters outside (0, 1), non-finite
// input, sources beyond the closed form's range of rho) take the scalar
// model. Only the lanes on the general path call the maths library.
struct DiscsInLanes {
  template <class T>
  MAGNIKIT_KERNEL void lanes(const double* l, const double* rstar, Computed<double>* out,
                             std::size_t live) const {
    const DiscSize<T> size(re, lanes::load<T>(rstar));
    const lanes::Mask<T> wanted = lanes::mask_where<T>([&](std::size_t i) {
      const double rho = lanes::get(size.rho, i);
      return i < live && !in_far_field(l[i], rho) && closed_form_holds(rho);
    });
    const Disc<T> disc(size.rho, size.q, lanes::load<T>(l));
    const T characteristic = disc.characteristic();
    auto arguments = from_parameters(characteristic, disc.parameter(characteristic));
    const lanes::Mask<T> near_rim = lanes::abs(disc.d) < size.band;
    if (lanes::any(near_rim)) {
      const auto complements = disc.complements();
      take_complements(arguments, near_rim, complements.nc, complements.mc);
    }
    const lanes::Mask<T> general = general_lanes(arguments, wanted & (disc.d != 0.0));
    LaneComputed<T> A;
    if (lanes::any(general)) {
      const auto [n, nc, mc] = arguments;
      const T log_mc = log_of(mc, general);
      const T E = ellipe_from_log(mc, log_mc);
      const T K = ellipk_from_log(mc, log_mc);
      A = ellippi_general(n, nc, mc, general);
      A.value = disc.magnification(E, K, A.value);
    }
    store_lanes(A, general, out, live, [&](std::size_t i) { return one(l[i], rstar[i]); });
  }

  Computed<double> one(double l, double rstar) const {
    return UniformSource(re, rstar).magnification(l);
  }

  double re;
};

}  // namespace

UniformSource::UniformSource(double re, double rstar) {
  const DiscSize<double> size(re, rstar);
  rho_ = size.rho;
  q_ = size.q;
  band_ = size.band;
}

double UniformSource::rim_magnification() const {
  // Witt & Mao's closed form for the lens on the rim, u = rho:
  // A = (2 / rho + ((rho^2 + 1) / rho^2) (asin((rho^2 - 1) / (rho^2 + 1)) + pi / 2)) / pi.
  // For a small source the sum asin(t) + pi / 2 cancels (t nears -1); it is
  // 2 atan|rho|, and (rho^2 + 1) / rho^2 is (a + 1 / a) / a with a = |rho|.
  const double a = std::fabs(rho_);
  const double c = (a + 1.0 / a) * (std::atan(a) / a);
  return at_least_one((2.0 / rho_ + (c + c)) / PI);
}

// Not inlined: the batch inlines the scalar model into its vector loop, and
// this rare path would only crowd it.
[[gnu::noinline]] double UniformSource::beyond_closed_form(double l) const {
  if (rho_ > DISC_CLOSED_FORM_LARGEST_RHO) return 1.0;
  if (!(rho_ > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  // A source far smaller than the Einstein radius sees the point lens's
  // A(u) = 1/u + O(u), so A = V(l) / (pi rho) to relative order rho^2, with
  // V(l) the integral of 1/|x - l| over the unit disc (its Newtonian
  // potential): 4 E(l^2) inside, 4 / l (R_F - R_D / 3) at m = 1/l^2 outside
  // (that is 4 l (E(m) - (1 - m) K(m)) without the cancellation of its
  // terms), and 4 on the rim. The complements of m are formed as products,
  // so that the rim's neighbourhood keeps its digits. V / pi is formed
  // first: the quotient by rho overflows only where the magnification does.
  double potential = 4.0;
  if (l < 1.0) {
    const auto E = ellipe_complementary((1.0 - l) * (1.0 + l));
    if (!E) return std::numeric_limits<double>::quiet_NaN();
    potential = 4.0 * *E;
  } else if (l > 1.0) {
    const double mc = ((l - 1.0) * (l + 1.0)) / (l * l);
    const auto F = elliprf(0.0, mc, 1.0);
    const auto D = elliprd(0.0, mc, 1.0);
    if (!F || !D) return std::numeric_limits<double>::quiet_NaN();
    potential = (4.0 / l) * (*F - *D / 3.0);
  }
  return (potential / PI) / rho_;
}

Computed<double> UniformSource::magnification(double l) const {
  // Far from the lens the closed form cancels (three terms of order l^2
  // summing to about 1); the series does not.
  if (in_far_field(l, rho_)) {
    return far_field_magnification(rho_ * l, 1.0 / (l * l), UNIFORM_DISC_MOMENTS);
  }
  // Negative, NaN and infinite separations are refused alike, with the
  // error the elliptic integrals give for most of them.
  if (!(l >= 0.0 && l < std::numeric_limits<double>::infinity())) {
    return fail(RJ_NO_CONVERGENCE);
  }
  if (!closed_form_holds(rho_)) return beyond_closed_form(l);
  const Disc<double> disc(rho_, q_, l);
  if (disc.d == 0.0) return rim_magnification();

  const auto integrals = std::fabs(disc.d) < band_ ? integrals_in_complements(disc)
                                                   : integrals_in_parameters(disc);
  if (!integrals) return std::unexpected(integrals.error());
  return disc.magnification(integrals->E, integrals->K, integrals->P);
}

void uniform_disc_magnifications(std::span<const double> l, std::span<const double> rstar,
                                 double re, std::span<Computed<double>> out, lanes::Path path) {
  evaluate_in_lanes(DiscsInLanes{re}, l, rstar, out, path);
}

void uniform_disc_magnifications(std::span<const double> l, std::span<const double> rstar,
                                 double re, std::span<Computed<double>> out) {
  uniform_disc_magnifications(l, rstar, re, out, lanes::active_path());
}

Computed<FloatVector> witt_mao_magnification(FloatVector l, double re, double rstar,
                                             Checkpoint checkpoint) {
  if (sizes_without_meaning(re, rstar)) return not_a_magnification_for_each(l.size());
  re = einstein_radius(re);
  // A few dozen separations at a time, so that the batch needs no buffers
  // beyond the result. The checkpoint is asked before each separation is
  // taken, as if it were computed then.
  constexpr std::size_t CHUNK = 16;
  double rstars[CHUNK];
  std::fill(rstars, rstars + std::min(CHUNK, l.size()), rstar);
  Computed<double> chunk[CHUNK];
  FloatVector magnifications;
  magnifications.reserve(l.size());
  for (std::size_t start = 0; start < l.size(); start += CHUNK) {
    const std::size_t size = std::min(CHUNK, l.size() - start);
    uniform_disc_magnifications(std::span(l).subspan(start, size), std::span(rstars, size), re,
                                std::span(chunk, size));
    for (std::size_t i = 0; i < size; ++i) {
      if (checkpoint.stop_requested()) return stopped_at_checkpoint();
      if (!chunk[i]) return std::unexpected(chunk[i].error());
      magnifications.push_back(*chunk[i]);
    }
  }
  return magnifications;
}

}  // namespace magnikit
