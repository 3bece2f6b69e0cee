// The nodes at which the near field's integrals over the source radius take
// their integrand, for a lens l source radii from the centre of a source of
// eps = re / rstar Einstein radii to the source radius: the graded cells of
// numeric/graded_cells.hpp fitted to the singular points of the magnified
// flux.
//
// The magnified flux of the ring of radius x, 2 pi x A(l, x), is analytic in
// x but for
//   - the ring through the lens, x = l, where it is a(x) log|x - l| + b(x)
//     with a and b analytic: the cell there takes the logarithmic rule;
//   - its mirror x = -l (A is even in x);
//   - x = +-l + 2i eps and their conjugates, where the ring's
//     Q = (x - l)^2 + 4 eps^2 vanishes;
//   - x = 0 for the flux beyond the lens (x > l) continued inwards: there
//     the ring average is a series in l / x.
// The flux within radius x, from uniform discs (models/disc_by_disc.hpp), is
// its integral and has the same points. Near a lens close to the centre the
// flux differs from the centred lens's by (l / x)^2, and beyond a few
// Einstein radii from the ring through the lens a large source is magnified
// by 1 + O(eps^4 / D^4): the lens, its mirror and x = 0 fade beyond
// min(2l, 2 eps), the points of Q beyond 2 eps; where eps is small against l
// every one of them is a share of about eps / l of the flux.
//
// A limb-darkening law is smooth in mu = sqrt(1 - x^2) or has a power-law
// edge at the limb, mu^alpha, mu ln mu; in v = (1 - x^2)^(1/4) (mu = v^2,
// 2 pi x dx = -4 pi v^3 dv) every basis but those two is analytic, and so is
// the ring, even in x. A law's whole radius [0, 1] is taken in v where the
// lens is in the outer half or beyond the rim; with the lens in the inner
// half, in x up to X_FOR_INNER_LENS and in v beyond. The cell at the limb,
// v = 0, takes the logarithmic rule, exact for v^k log v; with the lens on
// the rim it serves both. The points in v are the fourth roots of 1 - z^2
// for each point z in x, of which those with a non-negative real part lie
// nearer every cell; with the lens in v's range, each cluster of a lens root
// and its points of Q fades beyond its own extent there.
//
// A sampled profile is linear in x on each piece between samples, so each
// piece is taken in x. A piece that the ring through the lens crosses is
// cut there; one that ends at it is not; one within a quarter of its width
// of it is the difference of two parts that end at the lens, the profile's
// line and the flux both continuing past the piece's end.
//
// Rounding order: every product and sum is written in the order in which it
// is rounded (the build never fuses a multiply and an add), so the nodes are
// the same to the last bit on every platform.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "core/constants.hpp"
#include "numeric/graded_cells.hpp"

namespace magnikit {

// With the lens in the inner half of the source (l < LENS_IN_INNER_HALF), a
// law's radius is taken in x up to X_FOR_INNER_LENS and in v beyond it.
inline constexpr double LENS_IN_INNER_HALF = 0.5;
inline constexpr double X_FOR_INNER_LENS = 0.7;
// A piece of a sampled profile within this share of its width of the ring
// through the lens is taken as the difference of two parts that end there.
inline constexpr double PIECE_NEAR_LENS = 0.25;

// A complex number, for the points of the flux in v. The roots are taken in
// real arithmetic (the correctly rounded square root and the C library's
// hypot), so that they are the same to the last bit with every C++ library.
struct Complex {
  double re;
  double im;
};

// The principal square root.
inline Complex principal_sqrt(Complex w) {
  if (w.re == 0.0 && w.im == 0.0) return w;
  const double modulus = std::hypot(w.re, w.im);
  if (w.re >= 0.0) {
    const double re = std::sqrt((modulus + w.re) * 0.5);
    return {re, w.im / (2.0 * re)};
  }
  const double im = std::sqrt((modulus - w.re) * 0.5);
  return {std::fabs(w.im) / (2.0 * im), std::copysign(im, w.im)};
}

// The singular points of one interval.
class SingularPoints {
 public:
  void add(double x, double y, Strength strength) {
    points_[count_++] = SingularPoint{x, y, strength};
  }
  std::span<const SingularPoint> span() const { return std::span(points_.data(), count_); }

 private:
  std::array<SingularPoint, graded_cells::Grading::MOST_POINTS> points_{};
  std::size_t count_ = 0;
};

// Where a part of the source radius lies against the ring through the lens.
enum class LensSide {
  inside,   // x <= l: the flux continues to -l
  outside,  // x >= l: it continues to x = 0 as well
};

// The singular points of the magnified flux for a lens at l > 0 (or at the
// centre, l = 0) and the source eps Einstein radii in radius.
class FluxSingularities {
 public:
  FluxSingularities(double l, double eps) : l_(l), two_eps_(2.0 * eps) {
    // Where the source is far larger than the Einstein radius, the
    // logarithm at the ring through the lens has a coefficient of about
    // eps / (pi l) against the flux itself (the point lens's 1/u near the
    // lens, averaged around the ring), taken as 2 eps / l; the cluster of
    // the lens, its mirror and x = 0 fades beyond min(2l, 2 eps).
    const double weight = l > two_eps_ ? two_eps_ / l : 1.0;
    lens_ = Strength{weight, l > 0.0 ? std::min(2.0 * l, two_eps_) : two_eps_};
    q_ = Strength{weight, two_eps_};
    // v = (1 - z^2)^(1/4): of the lens, and of the points of Q, l + 2i eps
    // (the roots of l - 2i eps and of the mirrors are their conjugates).
    const double one_minus_l2 = (1.0 - l) * (1.0 + l);
    lens_roots_ = roots_with_positive_real_part({one_minus_l2, 0.0});
    q_roots_ = roots_with_positive_real_part(
        {one_minus_l2 + two_eps_ * two_eps_, -(2.0 * l) * two_eps_});
    // Each cluster of a lens root and the roots of Q fades beyond their
    // distance in v, where the lens is in v's range; nearer the centre v
    // squeezes the cluster (1 - v ~ x^2 / 4) and it fades nowhere.
    for (std::size_t i = 0; i < 2; ++i) {
      in_v_[i] = Strength{weight, std::numeric_limits<double>::infinity()};
      if (l < LENS_IN_INNER_HALF) continue;
      for (const Complex& q : q_roots_) {
        in_v_[i].scale = std::min(
            in_v_[i].scale, std::hypot(q.re - lens_roots_[i].re, q.im - lens_roots_[i].im));
      }
    }
  }

  double l() const { return l_; }
  const Strength& lens() const { return lens_; }
  double lens_in_v() const { return lens_roots_[0].re; }
  const Strength& lens_in_v_strength() const { return in_v_[0]; }

  // In x, for a part on the given side of the lens, without the lens
  // itself; the limb x = 1 for a law's part in x.
  SingularPoints in_x(LensSide side, bool limb) const {
    SingularPoints points;
    if (l_ > 0.0) {
      points.add(-l_, 0.0, lens_);
      points.add(-l_, two_eps_, q_);
      if (side == LensSide::outside) points.add(0.0, 0.0, lens_);
    }
    points.add(l_, two_eps_, q_);
    if (limb) points.add(1.0, 0.0, Strength{});
    return points;
  }

  // The same with the lens among them, for a part that does not reach it.
  SingularPoints in_x_apart(LensSide side, bool limb) const {
    SingularPoints points = in_x(side, limb);
    if (l_ > 0.0) points.add(l_, 0.0, lens_);
    return points;
  }

  // In v, for a part on the given side of the lens: the roots of the lens
  // (but the one the part ends at, when it ends at the lens) and of Q,
  // beyond the lens those of x = 0, v = 1 and i, and the limb v = 0.
  SingularPoints in_v(LensSide side, bool ending_at_lens) const {
    SingularPoints points;
    for (std::size_t i = ending_at_lens ? 1 : 0; i < 2; ++i) {
      const Complex root = lens_roots_[i];
      // On the rim both lens roots are v = 0, the end itself.
      if (root.re != 0.0 || root.im != 0.0) points.add(root.re, std::fabs(root.im), in_v_[i]);
    }
    for (std::size_t i = 0; i < 2; ++i) {
      const Complex root = q_roots_[i];
      points.add(root.re, std::fabs(root.im), in_v_[i]);
    }
    if (side == LensSide::outside) {
      const Strength zero{lens_.weight, std::numeric_limits<double>::infinity()};
      points.add(1.0, 0.0, zero);
      points.add(0.0, 1.0, zero);
    }
    // Where a law's mu^alpha and mu ln mu have their edge.
    points.add(0.0, 0.0, Strength{});
    return points;
  }

 private:
  // The principal fourth root of w and the one of +-i times it whose real
  // part is not negative: of the four roots the two nearer [0, 1].
  static std::array<Complex, 2> roots_with_positive_real_part(Complex w) {
    const Complex root = principal_sqrt(principal_sqrt(w));
    const Complex turned = root.im <= 0.0 ? Complex{-root.im, root.re} : Complex{root.im, -root.re};
    return {root, turned};
  }

  double l_;
  double two_eps_;
  Strength lens_;
  Strength q_;
  std::array<Complex, 2> lens_roots_;
  std::array<Complex, 2> q_roots_;
  std::array<Strength, 2> in_v_;
};

// A law's variable at a node: v = (1 - x^2)^(1/4), the radius
// x = sqrt((1 - v)(1 + v)(1 + v^2)).
inline double radius_at(double v) { return std::sqrt(((1.0 - v) * (1.0 + v)) * (1.0 + v * v)); }

// mu = sqrt(1 - x^2) at a node in x.
inline double mu_at(double x) { return std::sqrt((1.0 - x) * (1.0 + x)); }

// The nodes of a law's piece, the whole source radius: the first in_x in x,
// the others in v, each with its radius x, mu, the weight of its own rule
// and variable (cell width included) and the area 2 pi x dx it stands for.
struct LawNodes {
  std::vector<double> x;
  std::vector<double> mu;
  std::vector<double> variable;  // x or v
  std::vector<double> weight;
  std::vector<double> area;
  std::size_t in_x = 0;

  std::size_t size() const { return x.size(); }

  void clear() {
    x.clear();
    mu.clear();
    variable.clear();
    weight.clear();
    area.clear();
    in_x = 0;
  }
};

// The cells of a law's piece [0, 1] for the lens at l: those in x first,
// then those in v; returns how many are in x.
inline std::size_t law_cells(const FluxSingularities& flux, std::vector<Cell>& cells) {
  const double l = flux.l();
  cells.clear();
  if (l >= 1.0) {
    if (l == 1.0) {
      // The lens on the rim: one logarithmic cell at v = 0 serves both.
      cover_with_cells({0.0, 1.0, LogarithmAt::start, flux.lens_in_v_strength(), true},
                       flux.in_v(LensSide::inside, true).span(), cells);
    } else {
      cover_with_cells({0.0, 1.0, LogarithmAt::none, {}, true},
                       flux.in_v(LensSide::inside, false).span(), cells);
    }
    return 0;
  }
  if (l >= LENS_IN_INNER_HALF) {
    const double v_lens = flux.lens_in_v();
    cover_with_cells({0.0, v_lens, LogarithmAt::end, flux.lens_in_v_strength(), true},
                     flux.in_v(LensSide::outside, true).span(), cells);
    cover_with_cells({v_lens, 1.0, LogarithmAt::start, flux.lens_in_v_strength(), false},
                     flux.in_v(LensSide::inside, true).span(), cells);
    return 0;
  }
  if (l > 0.0) {
    cover_with_cells({0.0, l, LogarithmAt::end, flux.lens(), false},
                     flux.in_x(LensSide::inside, true).span(), cells);
    cover_with_cells({l, X_FOR_INNER_LENS, LogarithmAt::start, flux.lens(), false},
                     flux.in_x(LensSide::outside, true).span(), cells);
  } else {
    cover_with_cells({0.0, X_FOR_INNER_LENS, LogarithmAt::none, {}, false},
                     flux.in_x(LensSide::inside, true).span(), cells);
  }
  const std::size_t in_x = cells.size();
  const double v_split = std::sqrt(std::sqrt((1.0 - X_FOR_INNER_LENS) * (1.0 + X_FOR_INNER_LENS)));
  cover_with_cells({0.0, v_split, LogarithmAt::none, {}, true},
                   flux.in_v(l > 0.0 ? LensSide::outside : LensSide::inside, false).span(),
                   cells);
  return in_x;
}

// The nodes of a law's piece for the lens at l; cells is scratch.
inline void law_nodes(double l, double eps, std::vector<Cell>& cells, LawNodes& nodes) {
  nodes.clear();
  const std::size_t cells_in_x = law_cells(FluxSingularities(l, eps), cells);
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const bool in_x = c < cells_in_x;
    for_each_node(cells[c], [&](double t, double w) {
      const double x = in_x ? t : radius_at(t);
      nodes.x.push_back(x);
      nodes.mu.push_back(in_x ? mu_at(t) : t * t);
      nodes.variable.push_back(t);
      nodes.weight.push_back(w);
      // 2 pi x dx = -4 pi v^3 dv, with v falling as x grows.
      nodes.area.push_back(in_x ? (x * TWO_PI) * w : ((t * t) * t) * (4.0 * PI) * w);
    });
    if (in_x) nodes.in_x = nodes.size();
  }
}

// The nodes of a piece of a sampled profile, in x: the radius and the
// weight of each node, cell width included and negative on a part that is
// taken away.
struct PieceNodes {
  std::vector<double> x;
  std::vector<double> weight;

  std::size_t size() const { return x.size(); }
};

// The nodes of the piece [a, b] of a sampled profile for the lens at l;
// cells is scratch.
inline void piece_nodes(const FluxSingularities& flux, double a, double b,
                        std::vector<Cell>& cells, PieceNodes& nodes) {
  nodes.x.clear();
  nodes.weight.clear();
  const double l = flux.l();
  const Strength& lens = flux.lens();
  const auto part = [&](const Interval& interval, double sign) {
    cells.clear();
    const LensSide side = interval.start >= l ? LensSide::outside : LensSide::inside;
    if (interval.logarithm == LogarithmAt::none) {
      cover_with_cells(interval, flux.in_x_apart(side, false).span(), cells);
    } else {
      cover_with_cells(interval, flux.in_x(side, false).span(), cells);
    }
    for (const Cell& cell : cells) {
      for_each_node(cell, [&](double t, double w) {
        nodes.x.push_back(t);
        nodes.weight.push_back(sign * w);
      });
    }
  };
  if (l > 0.0) {
    if (a < l && l < b) {
      part({a, l, LogarithmAt::end, lens}, 1.0);
      part({l, b, LogarithmAt::start, lens}, 1.0);
      return;
    }
    if (l == a) return part({a, b, LogarithmAt::start, lens}, 1.0);
    if (l == b) return part({a, b, LogarithmAt::end, lens}, 1.0);
    const double gap = l < a ? a - l : l - b;
    if (gap < PIECE_NEAR_LENS * (b - a)) {
      if (l < a) {
        part({l, b, LogarithmAt::start, lens}, 1.0);
        part({l, a, LogarithmAt::start, lens}, -1.0);
      } else {
        part({a, l, LogarithmAt::end, lens}, 1.0);
        part({b, l, LogarithmAt::end, lens}, -1.0);
      }
      return;
    }
  }
  part({a, b}, 1.0);
}

}  // namespace magnikit
