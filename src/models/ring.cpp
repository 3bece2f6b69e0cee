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
    return ((4.0 / (s * lanes::sqrt(Q))) * ((d * d) * P + (e + e) * K)) / TWO_PI;
  }

  T l, r;
  double eps, e;
  T d, s, Q;
};

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
// the lens, parameters outside (0, 1), non-finite input) take the scalar
// function. Only the lanes on the general path call the maths library.
struct RingsInLanes {
  template <class T>
  MAGNIKIT_KERNEL void lanes(const double* l, const double* r, Computed<double>* out,
                             std::size_t live) const {
    const double eps = re / rstar;
    const lanes::Mask<T> wanted = lanes::mask_where<T>([&](std::size_t i) {
      return i < live && !ring_in_far_field(l[i], r[i], eps);
    });
    const Ring<T> ring(lanes::load<T>(l), lanes::load<T>(r), eps);
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

}  // namespace

Computed<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eps = re / rstar;  // Einstein radius in source radii
  // Far from the lens a few terms of the series replace two elliptic
  // integrals.
  if (ring_in_far_field(l, r, eps)) {
    const double ratio = r / l;
    return far_field_magnification(l / eps, ratio * ratio, THIN_RING_MOMENTS);
  }
  const Ring<double> ring(l, r, eps);

  // A ring through the lens: the average of the point-lens magnification,
  // which grows like the inverse distance to the lens, diverges.
  if (ring.d == 0.0) return std::numeric_limits<double>::infinity();

  const auto integrals =
      ring.near_ring() ? integrals_in_complements(ring) : integrals_in_parameters(ring);
  if (!integrals) return std::unexpected(integrals.error());
  return ring.magnification(integrals->K, integrals->P);
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
