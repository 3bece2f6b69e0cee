// The scalar path against the vector paths, in one process: the thread's
// CPU time per evaluation, the paths interleaved round by round, the best of
// many rounds, and every result of a vector path checked against the
// scalar path's, bit for bit.
//
//   lanes_benchmark [ROUNDS]
//
// ring: the ring model at the radii a limb-darkened integral evaluates at
//   separation l (the near field's graded cells), in one batch.
// disc: the uniform-disc model at 1000 separations of a light curve, from
//   the centre to three source radii, as witt_mao_magnification takes them.
// The integrated forms with the linear law and with a sampled profile (200
//   samples of the same law at x = sin(theta), theta uniform), and the
//   discrete flux map over the same 200 rings, one separation per call.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "core/checkpoint.hpp"
#include "core/constants.hpp"
#include "models/brightness_profile.hpp"
#include "models/flux_map.hpp"
#include "models/integrated.hpp"
#include "models/radius_nodes.hpp"
#include "models/ring.hpp"
#include "models/uniform_source.hpp"
#include "numeric/lanes.hpp"

namespace {

using magnikit::Checkpoint;
using magnikit::Computed;
using magnikit::FloatVector;
using magnikit::lanes::Path;

using Results = std::vector<Computed<double>>;

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The radii at which the limb-darkened integral evaluates its rings for the
// lens at l (models/radius_nodes.hpp), in the order it takes them.
std::vector<double> integrand_radii(double l, double rho) {
  std::vector<magnikit::Cell> cells;
  magnikit::LawNodes nodes;
  magnikit::law_nodes(l, 1.0 / rho, cells, nodes);
  return nodes.x;
}

bool same_results(const Results& a, const Results& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].has_value() != b[i].has_value()) return false;
    if (!a[i]) {
      if (a[i].error().message != b[i].error().message) return false;
      continue;
    }
    const bool both_nan = std::isnan(*a[i]) && std::isnan(*b[i]);
    if (!both_nan && std::memcmp(&*a[i], &*b[i], sizeof(double)) != 0) return false;
  }
  return true;
}

// The values of a vector form, or its error once for every separation.
Results per_separation(const Computed<FloatVector>& result, std::size_t separations) {
  if (!result) return Results(separations, std::unexpected(result.error()));
  return Results(result->begin(), result->end());
}
// The same for a form that checks its arguments, which these never refuse.
Results per_separation(const magnikit::Checked<FloatVector>& result, std::size_t separations) {
  if (!result) {
    return Results(separations,
                   std::unexpected(std::get<magnikit::ComputationError>(result.error())));
  }
  return Results(result->begin(), result->end());
}

constexpr Path PATHS[] = {Path::scalar, Path::baseline, Path::avx2};

// Times run(path) on every available path, interleaved, and prints the best
// time per evaluation (in the unit given, in seconds) and the speed-up over
// the scalar path.
void compare(const char* kernel, double rho, const char* lens, std::size_t evaluations,
             double unit, int rounds, const std::function<Results(Path)>& run) {
  double best[3];
  std::fill(best, best + 3, std::numeric_limits<double>::infinity());
  const Results scalar = run(Path::scalar);
  bool identical = true;
  for (int round = 0; round < rounds; ++round) {
    for (int p = 0; p < 3; ++p) {
      if (!magnikit::lanes::available(PATHS[p])) continue;
      const double start = thread_seconds();
      const Results results = run(PATHS[p]);
      best[p] = std::min(best[p], (thread_seconds() - start) / static_cast<double>(evaluations));
      identical = identical && same_results(results, scalar);
    }
  }
  std::printf("| %s | %g | %s |", kernel, rho, lens);
  for (int p = 0; p < 3; ++p) {
    if (!magnikit::lanes::available(PATHS[p])) {
      std::printf(" - |");
      continue;
    }
    std::printf(" %.4g", best[p] / unit);
    if (p > 0) std::printf(" (%.2f×)", best[0] / best[p]);
    std::printf(" |");
  }
  std::printf(" %s |\n", identical ? "yes" : "NO");
  std::fflush(stdout);
}

struct Lens {
  double l;
  const char* where;
};
constexpr Lens LENSES[] = {
    {0.5, "inside, l = 0.5"}, {1.0, "on the rim"}, {1.1, "outside, l = 1.1"}};
constexpr double SOURCE_SIZES[] = {0.01, 0.1, 1.0};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 101;
  const int slow_rounds = std::max(3, rounds / 10);
  std::printf("| kernel | ρ | lens | scalar | baseline | avx2 | bit-identical |\n");
  std::printf("|---|---|---|---:|---:|---:|---|\n");

  for (const double rho : SOURCE_SIZES) {
    for (const Lens& lens : LENSES) {
      const std::vector<double> radii = integrand_radii(lens.l, rho);
      const std::vector<double> separations(radii.size(), lens.l);
      compare("ring (ns)", rho, lens.where, radii.size(), 1e-9, rounds, [&](Path path) {
        Results out(radii.size());
        magnikit::heyrovsky_magnifications(separations, radii, 1.0, rho, out, path);
        return out;
      });
    }
  }

  std::vector<double> light_curve(1000);
  for (std::size_t i = 0; i < light_curve.size(); ++i) {
    light_curve[i] = 3.0 * static_cast<double>(i) / static_cast<double>(light_curve.size());
  }
  for (const double rho : SOURCE_SIZES) {
    const std::vector<double> rstars(light_curve.size(), rho);
    compare("disc (ns)", rho, "0 to 3", light_curve.size(), 1e-9, rounds, [&](Path path) {
      Results out(light_curve.size());
      magnikit::uniform_disc_magnifications(light_curve, rstars, 1.0, out, path);
      return out;
    });
  }

  // The linear law sampled at 200 radii x = sin(theta).
  FloatVector bl(200);
  FloatVector bf(200);
  for (std::size_t j = 0; j < bl.size(); ++j) {
    const double theta = magnikit::HALF_PI * static_cast<double>(j);
    bl[j] = std::sin(theta / static_cast<double>(bl.size() - 1));
    bf[j] = magnikit::linear_limb_darkening(bl[j]);
  }
  const magnikit::SampledProfile sampled{bl, bf};
  const auto& linear = magnikit::linear_limb_darkening;

  for (const double rho : SOURCE_SIZES) {
    for (const Lens& lens : LENSES) {
      const FloatVector l{lens.l};
      compare("integrated Heyrovsky (µs)", rho, lens.where, 1, 1e-6, rounds, [&](Path path) {
        return per_separation(magnikit::_integrated_heyrovsky_magnification(
                                  l, 1.0, rho, linear, 1.0, Checkpoint(), path),
                              l.size());
      });
      compare("integrated Witt–Mao (µs)", rho, lens.where, 1, 1e-6, slow_rounds, [&](Path path) {
        return per_separation(magnikit::_integrated_witt_mao_magnification(
                                  l, 1.0, rho, linear, 1.0, Checkpoint(), path),
                              l.size());
      });
      compare("integrated flux-map Heyrovsky (µs)", rho, lens.where, 1, 1e-6, slow_rounds,
              [&](Path path) {
                return per_separation(magnikit::_integrated_heyrovsky_magnification(
                                          l, 1.0, rho, sampled, 1.0, Checkpoint(), path),
                                      l.size());
              });
      compare("integrated flux-map Witt–Mao (µs)", rho, lens.where, 1, 1e-6, slow_rounds,
              [&](Path path) {
                return per_separation(magnikit::_integrated_witt_mao_magnification(
                                          l, 1.0, rho, sampled, 1.0, Checkpoint(), path),
                                      l.size());
              });
      compare("discrete flux map (µs)", rho, lens.where, 1, 1e-6, rounds, [&](Path path) {
        return per_separation(magnikit::_discrete_flux_map_heyrovsky_magnification(
                                  l, 1.0, rho, bl, bf, Checkpoint(), path),
                              l.size());
      });
    }
  }
  return 0;
}
