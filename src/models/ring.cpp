// Heyrovsky's closed form for a thin ring (2003, ApJ 594, 464): the
// point-lens magnification averaged around the ring, in K(m) and Pi(n, m).
//
// Rounding order: every product and sum is written in the order in which it
// is rounded, and the build never fuses a multiply and an add, so each result
// is reproducible to the last bit and agrees with the reference tables. A sum
// such as e + e is the doubled term 2 eps^2 of the published form, kept in
// the form it is rounded in.
//
// The closed form is written once, generic over the lane type: the scalar
// function takes it with double, the batch with vectors of rings.
#include "models/ring.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/constants.hpp"
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

// The ring of radius r about a lens at separation l (both in source radii),
// with eps the Einstein radius in source radii: d = l - r, s = l + r and
// Q = d^2 + 4 eps^2.
template <class T>
struct Ring {
  Ring(const T& l_, const T& r_, double eps_)
      : l(l_), r(r_), eps(eps_), e(eps_ * eps_), d(l_ - r_), s(l_ + r_), Q(d * d + e * 4.0) {}

  // The band is relative to the separation: 1 - n = (d / s)^2 sets the
  // cancellation, so the same fraction of |l| costs the same digits at
  // every separation.
  lanes::Mask<T> near_ring() const { return lanes::abs(d) < RING_NEAR_BAND * lanes::abs(l); }

  // m = 16 e l r / (s^2 Q), formed by squaring the modulus k, not directly.
  T parameter() const {
    const T k = ((eps * 4.0) / s) * lanes::sqrt((l * r) / Q);
    return k * k;
  }
  // n = 4 l r / s^2.
  T characteristic() const { return ((l * 4.0) * r) / (s * s); }

  // Near the ring both n and m approach 1, and K and Pi depend on the digits
  // of 1 - n and 1 - m that forming n and m would round away. Both
  // complements are products: 1 - n = (d / s)^2 and
  // 1 - m = (1 - n) (s^2 + 4 e) / Q.
  struct Complements {
    T nc;
    T mc;
  };
  Complements complements() const {
    const T ratio = d / s;
    const T nc = ratio * ratio;
    return {nc, nc * ((s * s + e * 4.0) / Q)};
  }

  T magnification(T K, T P) const {
    return at_least_one(((4.0 / (s * lanes::sqrt(Q))) * ((d * d) * P + (e + e) * K)) / TWO_PI);
  }

  T l, r;
  double eps, e;
  T d, s, Q;
};

// Whether the closed form is evaluated as written: eps and l + r within
// the bounds in which every square and product it forms is a normal double
// (false for NaN and for negative sums).
template <class T>
MAGNIKIT_KERNEL lanes::Mask<T> in_closed_form_range(T s) {
  return (s >= RING_CLOSED_FORM_SMALLEST) & (s <= RING_CLOSED_FORM_LARGEST);
}
inline bool eps_in_closed_form_range(double eps) {
  return eps >= RING_CLOSED_FORM_SMALLEST && eps <= RING_CLOSED_FORM_LARGEST;
}

// K(m) and Pi(n, m) of the closed form.
struct RingIntegrals {
  double K;
  double P;
};

Computed<RingIntegrals> integrals_in_parameters(const Ring<double>& ring) {
  const double m = ring.parameter();
  const auto K = ellipk(m);
  if (!K) return std::unexpected(K.error());
  const auto P = ellippi(ring.characteristic(), m);
  if (!P) return std::unexpected(P.error());
  return RingIntegrals{*K, *P};
}

Computed<RingIntegrals> integrals_in_complements(const Ring<double>& ring) {
  const auto [nc, mc] = ring.complements();
  const auto K = ellipk_complementary(mc);
  if (!K) return std::unexpected(K.error());
  const auto P = ellippi_complementary(nc, mc);
  if (!P) return std::unexpected(P.error());
  return RingIntegrals{*K, *P};
}

// Rings (l, r) about one lens and source, in lanes. Near the ring and off
// it alike, K and Pi take the same general path, from the complements or
// from the parameters; the lanes off it (the far field, the ring through
// the lens, parameters outside (0, 1), non-finite input, lengths beyond the
// closed form's range) take the scalar function. Only the lanes on the
// general path call the maths library.
struct RingsInLanes {
  template <class T>
  MAGNIKIT_KERNEL void lanes(const double* l, const double* r, Computed<double>* out,
                             std::size_t live) const {
    const double eps = re / rstar;
    if (!eps_in_closed_form_range(eps) || sizes_without_meaning(re, rstar)) {
      for (std::size_t i = 0; i < live; ++i) out[i] = one(l[i], r[i]);
      return;
    }
    const Ring<T> ring(lanes::load<T>(l), lanes::load<T>(r), eps);
    const lanes::Mask<T> wanted =
        in_closed_form_range(ring.s) & lanes::mask_where<T>([&](std::size_t i) {
          return i < live && !ring_in_far_field(l[i], r[i], eps);
        });
    auto arguments = from_parameters(ring.characteristic(), ring.parameter());
    const lanes::Mask<T> near_ring = ring.near_ring();
    if (lanes::any(near_ring)) {
      const auto complements = ring.complements();
      take_complements(arguments, near_ring, complements.nc, complements.mc);
    }
    const lanes::Mask<T> general = general_lanes(arguments, wanted & (ring.d != 0.0));
    LaneComputed<T> A;
    if (lanes::any(general)) {
      const auto [n, nc, mc] = arguments;
      const T K = ellipk_from_log(mc, log_of(mc, general));
      A = ellippi_general(n, nc, mc, general);
      A.value = ring.magnification(K, A.value);
    }
    store_lanes(A, general, out, live, [&](std::size_t i) { return one(l[i], r[i]); });
  }

  Computed<double> one(double l, double r) const { return heyrovsky_magnification(l, r, re, rstar); }

  double re;
  double rstar;
};

// The closed form for a ring and lens given by finite, non-negative l and r
// and a positive eps, none of them NaN.
Computed<double> closed_form(double l, double r, double eps) {
  const Ring<double> ring(l, r, eps);
  const auto integrals =
      ring.near_ring() ? integrals_in_complements(ring) : integrals_in_parameters(ring);
  if (!integrals) return std::unexpected(integrals.error());
  return ring.magnification(integrals->K, integrals->P);
}

// The ring where eps or l + r lies beyond the closed form's range. The
// magnification depends on the lengths only through their ratios, and
// scaling all three by a power of two changes no digit of the closed form,
// so the lengths are brought to the size of 1 and the form evaluated there;
// every square it forms is then a normal double or negligible (eps^2 beside
// (l - r)^2, which is at least 2^-108 (l + r)^2). Only a ring within 1e-150
// Einstein radii of the lens, whose squared distance would underflow beside
// eps^2, takes the point-lens limit instead: A(u) = 1/u + O(u) averaged
// around the ring, eps (2/pi) K(n) / (l + r) with n = 4 l r / (l + r)^2, to
// relative order ((l + r) / eps)^2 < 2^110 1e-300. K is taken in the
// complement 1 - n, which a product gives to full accuracy.
// Not inlined, like refused_geometry: the batches inline the scalar function
// into their vector loops, and these rare paths would only crowd them.
[[gnu::noinline]] Computed<double> beyond_closed_form(double l, double r, double eps) {
  const double d = l - r;
  if (std::fabs(d) < RING_POINT_LENS_LIMIT * eps) {
    const double s = l + r;
    const double ratio = d / s;
    const auto K = ellipk_complementary(ratio * ratio);  // 1 - n = ((l - r) / (l + r))^2
    if (!K) return std::unexpected(K.error());
    // (2/pi) K is at least 1, so the product overflows only where the
    // magnification does.
    return (*K / HALF_PI) * (eps / s);
  }
  int exponent = 0;
  std::frexp(std::max({l, r, eps}), &exponent);
  return closed_form(std::ldexp(l, -exponent), std::ldexp(r, -exponent),
                     std::ldexp(eps, -exponent));
}

// A separation or ring radius that is negative, NaN or infinite. Of opposite
// signs, NaN or infinite, they are refused with the error the elliptic
// integrals give for most of them.
[[gnu::noinline]] Computed<double> refused_geometry(double l, double r) {
  const bool opposite = (l < 0.0 && r > 0.0) || (l > 0.0 && r < 0.0);
  if (opposite || std::isnan(l) || std::isnan(r) || std::isinf(l) || std::isinf(r)) {
    return fail(RJ_NO_CONVERGENCE);
  }
  // A negative separation or radius beside a zero one, or both negative:
  // no ring and lens are placed so.
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  if (sizes_without_meaning(re, rstar)) return std::numeric_limits<double>::quiet_NaN();
  const double eps = re / rstar;  // Einstein radius in source radii
  // Far from the lens a few terms of the series replace two elliptic
  // integrals.
  if (ring_in_far_field(l, r, eps)) {
    const double ratio = r / l;
    return far_field_magnification(l / eps, ratio * ratio, THIN_RING_MOMENTS);
  }
  constexpr double INF = std::numeric_limits<double>::infinity();
  if (!(l >= 0.0 && r >= 0.0 && l < INF && r < INF)) return refused_geometry(l, r);

  // A ring through the lens: the average of the point-lens magnification,
  // which grows like the inverse distance to the lens, diverges, for every
  // Einstein radius however small. With none at all (eps = 0: re = 0, or a
  // source infinitely larger) every other ring keeps its brightness.
  if (l - r == 0.0) return INF;
  if (eps == 0.0) return 1.0;

  if (!eps_in_closed_form_range(eps) || !in_closed_form_range(l + r)) {
    return beyond_closed_form(l, r, eps);
  }
  return closed_form(l, r, eps);
}

void heyrovsky_magnifications(std::span<const double> l, std::span<const double> r, double re,
                              double rstar, std::span<Computed<double>> out, lanes::Path path) {
  evaluate_in_lanes(RingsInLanes{re, rstar}, l, r, out, path);
}

void heyrovsky_magnifications(std::span<const double> l, std::span<const double> r, double re,
                              double rstar, std::span<Computed<double>> out) {
  heyrovsky_magnifications(l, r, re, rstar, out, lanes::active_path());
}

}  // namespace magnikit
