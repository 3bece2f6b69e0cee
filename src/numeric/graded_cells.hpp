// Cells that cover an interval of an integrand with isolated singular points,
// each cell integrated by a stored Gauss rule fitted to it (the near field's
// integrals over the source radius, models/radius_nodes.hpp).
//
// A function analytic inside the Bernstein ellipse E_r with foci at the ends
// of a cell is integrated by the n-point Gauss-Legendre rule to about r^(-2n)
// of its size; the ellipse through a point z has r + 1/r = (|z - a| +
// |z - b|) / h, h the cell's half-width (BERNSTEIN_SUMS). A cell takes the
// least order, at least LEAST_GAUSS_ORDER, that keeps every singular point
// outside the ellipse of r^(-2n) = CELL_TARGET, and is halved while that
// needs more nodes than the largest stored rule. A logarithmic singularity
// at an end of the interval (the ring through the lens) is taken by the
// generalised rule LOG_GAUSS in the cell at that end, which is halved while
// the other points would ask more than GAUSS_LEGENDRE's largest order of it.
// A power-law edge of the integrand at the start (x^alpha, x log x: a
// limb-darkening law at the limb) is taken by LOG_GAUSS in the cell there,
// which is halved while it would need more than LIMB_CELL_ORDER nodes of
// Gauss-Legendre.
//
// The cells are graded from the end nearest a singular point: the first as
// wide as the distance from that end (or from the logarithmic singularity)
// to the nearest other singular point, each further one GRADING - 1 times
// the distance from its start to the nearest singular point, so that the
// cells grow geometrically away from the singular end and every cell is
// about as wide as its distance from any singular point.
//
// A singular point may count for less than the integrand: its non-analytic
// part may be a small share of it (the logarithm at the ring through the
// lens, for a source far larger than the Einstein radius) and fade like
// (scale / D)^2 at a distance D beyond its scale (the magnified flux far from
// a lens near the centre differs from a centred lens's by (l / x)^2). Such a
// point asks the cells to hold it to CELL_TARGET over its share only, and once
// the share is below CELL_TARGET it neither asks anything nor grades the
// cells.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "core/internal_failure.hpp"
#include "numeric/gauss_rules.hpp"

namespace magnikit {

inline constexpr int LEAST_GAUSS_ORDER = 4;
inline constexpr int MOST_GAUSS_ORDER = static_cast<int>(GAUSS_LEGENDRE.size());
inline constexpr int LOG_NODES = static_cast<int>(std::size(LOG_GAUSS));
// The most Gauss-Legendre nodes a cell at a power-law edge may ask for and
// still take LOG_GAUSS. LOG_GAUSS integrates polynomials to degree
// LOG_NODES - 1, as Gauss-Legendre of 7 nodes does, but the orders are bounds
// from the nearest singular point: measured against 20-digit integrals of
// every limb-darkening basis (benchmarks/near_field_rules.py), 12 holds them
// to 1e-14, 13 and 14 lose up to 7e-14, and each node fewer costs more cells.
inline constexpr int LIMB_CELL_ORDER = 12;
// Each cell boundary this many times farther from the singular end than
// the one before.
inline constexpr double GRADING = 4.0;
// A last cell narrower than this share of its interval joins the one before.
inline constexpr double LAST_CELL_SHARE = 0.15;
// A point this many widths of the interval away leaves every cell at the
// least order (r > 4e6 there): it is not considered.
inline constexpr double NEGLIGIBLE_DISTANCE = 0x1p20;
// Cells are not halved below this share of their interval.
inline constexpr double NARROWEST_CELL = 0x1p-60;

// How much of the integrand a singular point's non-analytic part is: its
// weight within `scale` of it, falling like (scale / D)^2 at a distance D
// beyond. The default counts fully everywhere.
struct Strength {
  double weight = 1.0;
  double scale = std::numeric_limits<double>::infinity();

  double share(double distance) const {
    if (distance <= scale) return weight;
    const double ratio = scale / distance;
    return weight * (ratio * ratio);
  }
};

// A singular point x + iy of the integrand (only |y| matters on the real
// line) and its strength.
struct SingularPoint {
  double x;
  double y;
  Strength strength;
};

enum class CellRule : std::uint8_t {
  gauss_legendre,  // GAUSS_LEGENDRE[order - 1]
  log_at_start,    // LOG_GAUSS, its singular end at the cell's start
  log_at_end,      // LOG_GAUSS, its singular end at the cell's end
};

struct Cell {
  double start;
  double end;
  CellRule rule;
  int order;  // nodes of its rule
};

// Where an interval has a logarithmic singularity of the integrand.
enum class LogarithmAt : std::uint8_t { none, start, end };

// An interval [start, end] to cover. The logarithmic singularity, if any,
// sits at one end and has its own strength; the cell at the start may also
// be asked to take LOG_GAUSS whatever else (a profile with a power-law edge
// there: the limb in v).
struct Interval {
  double start;
  double end;
  LogarithmAt logarithm = LogarithmAt::none;
  Strength logarithm_strength = {};
  bool log_rule_at_start = false;
};

// Calls node(abscissa, weight) for each node of the cell, in order of its
// rule's abscissae: the weight includes the cell's width.
template <class Node>
void for_each_node(const Cell& cell, Node&& node) {
  const double width = cell.end - cell.start;
  switch (cell.rule) {
    case CellRule::gauss_legendre:
      for (const GaussNode& n : GAUSS_LEGENDRE[cell.order - 1]) {
        node(cell.start + width * n.abscissa, width * n.weight);
      }
      return;
    case CellRule::log_at_start:
      for (const GaussNode& n : LOG_GAUSS) node(cell.start + width * n.abscissa, width * n.weight);
      return;
    case CellRule::log_at_end:
      for (const GaussNode& n : LOG_GAUSS) node(cell.end - width * n.abscissa, width * n.weight);
      return;
  }
}

namespace graded_cells {

// A singular point in the coordinates of the grading: its offset along the
// interval from the singular end (cells lie on [0, width]) and |y|.
struct Offset {
  double along;
  double across;
  Strength strength;
};

// |along + i across|, the squares taken as they are unless they underflow.
inline double modulus(double along, double across) {
  const double square = along * along + across * across;
  return square >= 0x1p-960 ? std::sqrt(square) : std::hypot(along, across);
}

// The distance from `along` (on the interval) to the nearest point that
// still counts there, but one right there (at the singular end, where the
// cell's own rule takes it); +inf when none does.
inline double nearest_counting(double along, std::span<const Offset> points) {
  double nearest = std::numeric_limits<double>::infinity();
  for (const Offset& p : points) {
    const double distance = modulus(p.along - along, p.across);
    if (distance > 0.0 && p.strength.share(distance) > CELL_TARGET) {
      nearest = std::min(nearest, distance);
    }
  }
  return nearest;
}

// The least Gauss-Legendre order for a point at Bernstein sum `sum` that
// counts for `point_share`; MOST_GAUSS_ORDER + 1 when no stored rule does.
inline int order_for(double sum, double point_share) {
  if (point_share == 1.0) {
    for (int n = LEAST_GAUSS_ORDER; n <= MOST_GAUSS_ORDER; ++n) {
      if (sum >= BERNSTEIN_SUMS[n - 1]) return n;
    }
    return MOST_GAUSS_ORDER + 1;
  }
  // r^(2n) >= point_share / CELL_TARGET.
  if (!(sum > 2.0)) return MOST_GAUSS_ORDER + 1;
  const double r = (sum + std::sqrt((sum - 2.0) * (sum + 2.0))) * 0.5;
  const double n = std::ceil(std::log(point_share / CELL_TARGET) / (2.0 * std::log(r)));
  return n > MOST_GAUSS_ORDER ? MOST_GAUSS_ORDER + 1 : static_cast<int>(n);
}

// The least order that holds the cell [from, to] (offsets) to CELL_TARGET
// against every point but one at its own singular end (at offset `own`, NaN
// for none), which its rule takes; MOST_GAUSS_ORDER + 1 when none of the
// stored rules does.
inline int cell_order(double from, double to, std::span<const Offset> points,
                      double own = std::numeric_limits<double>::quiet_NaN()) {
  const double half = (to - from) * 0.5;
  int order = LEAST_GAUSS_ORDER;
  for (const Offset& p : points) {
    if (p.along == own && p.across == 0.0) continue;
    const double outside = std::max({from - p.along, p.along - to, 0.0});
    const double point_share = p.strength.share(modulus(outside, p.across));
    if (!(point_share > CELL_TARGET)) continue;
    const double sum =
        (modulus(p.along - from, p.across) + modulus(p.along - to, p.across)) / half;
    order = std::max(order, order_for(sum, point_share));
    if (order > MOST_GAUSS_ORDER) break;
  }
  return order;
}

// The cells of one interval, in the grading's coordinates, appended to the
// caller's list as they are made.
class Grading {
 public:
  static constexpr std::size_t MOST_POINTS = 12;

  Grading(const Interval& interval, std::span<const SingularPoint> points,
          std::vector<Cell>& cells)
      : interval_(interval), width_(interval.end - interval.start), cells_(cells) {
    if (points.size() > MOST_POINTS) internal_failure("too many singular points for one interval");
    // The singular end: the logarithm's, else the end nearer a point that
    // counts there.
    if (interval.logarithm != LogarithmAt::none) {
      from_start_ = interval.logarithm == LogarithmAt::start;
    } else {
      from_start_ = nearest_from(interval.start, points) <= nearest_from(interval.end, points);
    }
    const double far = NEGLIGIBLE_DISTANCE * width_;
    for (const SingularPoint& p : points) {
      const double along = from_start_ ? p.x - interval.start : interval.end - p.x;
      if (!(std::fabs(along) < far && std::fabs(p.y) < far)) continue;
      offsets_[count_++] = Offset{along, std::fabs(p.y), p.strength};
    }
    if (interval.logarithm != LogarithmAt::none) {
      offsets_[count_] = Offset{0.0, 0.0, interval.logarithm_strength};
    }
    resolution_ = std::fabs(from_start_ ? interval.start : interval.end) * 0x1p-50;
  }

  void cover() {
    const bool logarithm = interval_.logarithm != LogarithmAt::none;
    double from = 0.0;
    bool first = true;
    while (from < width_) {
      double to;
      if (first && logarithm) {
        // At least wide enough to lie apart from the logarithm in doubles:
        // a point nearer it than that holds nothing of the integral there.
        to = std::max(nearest_counting(0.0, others()), resolution_);
      } else {
        const double nearest = nearest_counting(from, all());
        to = from + (first ? nearest : (GRADING - 1.0) * nearest);
      }
      // No point counts any more (or, never on the interval itself, a point
      // would leave no room): the rest is one cell.
      if (!(to < (1.0 - LAST_CELL_SHARE) * width_) || !(to > from)) to = width_;
      add(from, to, first && logarithm);
      from = to;
      first = false;
    }
  }

 private:
  static double nearest_from(double end, std::span<const SingularPoint> points) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const SingularPoint& p : points) {
      const double distance = modulus(p.x - end, p.y);
      if (p.strength.share(distance) > CELL_TARGET) nearest = std::min(nearest, distance);
    }
    return nearest;
  }

  // The points other than the logarithm, and all of them.
  std::span<const Offset> others() const { return std::span(offsets_, count_); }
  std::span<const Offset> all() const {
    return std::span(offsets_, count_ + (interval_.logarithm != LogarithmAt::none ? 1 : 0));
  }

  // The cell [from, to], halved while its rule cannot hold it.
  void add(double from, double to, bool at_logarithm) {
    const double middle = from + (to - from) * 0.5;
    const bool halvable = from < middle && middle < to && to - from > NARROWEST_CELL * width_ &&
                          middle - from >= resolution_;
    const bool at_limb = interval_.log_rule_at_start && (from_start_ ? from == 0.0 : to == width_);
    if (at_logarithm) {
      // One cell from the logarithm to a limb at the other end is shared
      // in halves between the two.
      const bool to_limb = at_limb && !from_start_;
      if ((to_limb || cell_order(from, to, others(), 0.0) > MOST_GAUSS_ORDER) && halvable) {
        add(from, middle, true);
        add(middle, to, false);
        return;
      }
      place(from, to, from_start_ ? CellRule::log_at_start : CellRule::log_at_end, LOG_NODES);
      return;
    }
    const int order = cell_order(from, to, all(), at_limb ? (from_start_ ? 0.0 : width_)
                                                          : std::numeric_limits<double>::quiet_NaN());
    if (order > (at_limb ? LIMB_CELL_ORDER : MOST_GAUSS_ORDER) && halvable) {
      add(from, middle, false);
      add(middle, to, false);
      return;
    }
    if (at_limb) {
      place(from, to, CellRule::log_at_start, LOG_NODES);
      return;
    }
    place(from, to, CellRule::gauss_legendre, std::min(order, MOST_GAUSS_ORDER));
  }

  // The cell at its place on the interval; one that rounds to nothing
  // there holds nothing of the integral.
  void place(double from, double to, CellRule rule, int order) {
    const double start = from_start_ ? interval_.start + from
                                     : (to == width_ ? interval_.start : interval_.end - to);
    const double end = from_start_ ? (to == width_ ? interval_.end : interval_.start + to)
                                   : interval_.end - from;
    if (!(start < end)) return;
    cells_.push_back(Cell{start, end, rule, order});
  }

  const Interval& interval_;
  double width_;
  std::vector<Cell>& cells_;
  bool from_start_ = true;
  // Four units in the last place of the singular end.
  double resolution_ = 0.0;
  Offset offsets_[MOST_POINTS + 1] = {};
  std::size_t count_ = 0;
};

}  // namespace graded_cells

// Appends to `cells` the cells that cover the interval (nothing for an
// empty one), graded from its singular end; points holds at most twelve
// singular points other than the logarithm.
inline void cover_with_cells(const Interval& interval, std::span<const SingularPoint> points,
                             std::vector<Cell>& cells) {
  if (!(interval.start < interval.end)) return;
  graded_cells::Grading(interval, points, cells).cover();
}

}  // namespace magnikit
