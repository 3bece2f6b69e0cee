// The scalar models against their batches on each vector path, in one
// process: the thread's CPU time per evaluation, the paths interleaved
// round by round, the best of many rounds.
//
//   lanes_benchmark [ROUNDS]
//
// ring: the ring model at the 385 radii a limb-darkened integral over the
//   source evaluates at separation l (split at l when the lens is inside),
//   a level's points on one side of each sub-interval's centre in one batch.
// disc: the uniform-disc model at 1000 separations of a light curve, from
//   the centre to three source radii, as witt_mao_magnification evaluates
//   them.
// Every batch result is checked against the scalar result, bit for bit.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "models/ring.hpp"
#include "models/uniform_source.hpp"
#include "numeric/de_levels.hpp"
#include "numeric/lanes.hpp"

namespace {

using magnikit::Computed;
using magnikit::lanes::Path;

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The radii of the tanh-sinh rule on [a, b] in the order a batching
// integrator evaluates them: the centre, then per level the points right of
// the centre and then those left of it.
void add_rule_points(double a, double b, std::vector<double>& radii) {
  const double s = (b - a) * 0.5;
  const double m = (a + b) * 0.5;
  radii.push_back(m);
  for (const auto level : magnikit::DE_LEVELS) {
    for (const auto& node : level) radii.push_back(m + s * node.abscissa);
    for (const auto& node : level) radii.push_back(m - s * node.abscissa);
  }
}

std::vector<double> integrand_radii(double l) {
  std::vector<double> radii;
  if (0.0 < l && l < 1.0) {
    add_rule_points(0.0, l, radii);
    add_rule_points(l, 1.0, radii);
  } else {
    add_rule_points(0.0, 1.0, radii);
  }
  return radii;
}

bool same_results(const std::vector<Computed<double>>& a, const std::vector<Computed<double>>& b) {
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

const Path PATHS[] = {Path::scalar, Path::baseline, Path::avx2};
const char* const PATH_NAMES[] = {"scalar", "baseline", "avx2"};

// Times run(path, out) for every available path, interleaved, and prints
// the best time per evaluation and the ratio to the scalar path.
void compare(const char* kernel, double rho, double l, std::size_t evaluations, int rounds,
             const std::function<void(Path, std::vector<Computed<double>>&)>& run) {
  double best[3] = {std::numeric_limits<double>::infinity(),
                    std::numeric_limits<double>::infinity(),
                    std::numeric_limits<double>::infinity()};
  std::vector<Computed<double>> scalar(evaluations);
  std::vector<Computed<double>> batch(evaluations);
  run(Path::scalar, scalar);
  bool identical = true;
  for (int round = 0; round < rounds; ++round) {
    for (int p = 0; p < 3; ++p) {
      if (!magnikit::lanes::available(PATHS[p])) continue;
      const double start = thread_seconds();
      run(PATHS[p], batch);
      best[p] = std::min(best[p], (thread_seconds() - start) / static_cast<double>(evaluations));
      identical = identical && same_results(batch, scalar);
    }
  }
  std::printf("| %s | %g | %g |", kernel, rho, l);
  for (int p = 0; p < 3; ++p) {
    if (!magnikit::lanes::available(PATHS[p])) {
      std::printf(" - |");
      continue;
    }
    std::printf(" %.1f", best[p] * 1e9);
    if (p > 0) std::printf(" (%.2f×)", best[0] / best[p]);
    std::printf(" |");
  }
  std::printf(" %s |\n", identical ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 201;
  std::printf("| kernel | ρ | l | scalar ns | %s ns | %s ns | bit-identical |\n", PATH_NAMES[1],
              PATH_NAMES[2]);
  std::printf("|---|---|---|---:|---:|---:|---|\n");
  for (const double rho : {0.01, 0.1, 1.0}) {
    for (const double l : {0.5, 1.0, 1.1}) {
      const std::vector<double> radii = integrand_radii(l);
      const std::vector<double> separations(radii.size(), l);
      compare("ring", rho, l, radii.size(), rounds,
              [&](Path path, std::vector<Computed<double>>& out) {
                magnikit::heyrovsky_magnifications(separations, radii, 1.0, rho, out, path);
              });
    }
  }
  std::vector<double> light_curve(1000);
  for (std::size_t i = 0; i < light_curve.size(); ++i) {
    light_curve[i] = 3.0 * static_cast<double>(i) / static_cast<double>(light_curve.size());
  }
  for (const double rho : {0.01, 0.1, 1.0}) {
    const std::vector<double> rstars(light_curve.size(), rho);
    compare("disc", rho, 0, light_curve.size(), rounds,
            [&](Path path, std::vector<Computed<double>>& out) {
              magnikit::uniform_disc_magnifications(light_curve, rstars, 1.0, out, path);
            });
  }
  return 0;
}
