// Times a magnification kernel on its own, with no Python objects involved:
//   kernel_benchmark MODEL SEPARATIONS REPEATS [FIRST LAST]
// prints the best CPU time per separation in nanoseconds over the repeats
// (the process's CPU time, which is this one thread's). The
// separations are spread evenly from FIRST to LAST source radii (by default
// from 0 to 3, over the lens inside, on and outside the source rim).
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <string>

#include "models/far_field.hpp"
#include "models/integrated.hpp"
#include "models/ring.hpp"
#include "models/uniform_source.hpp"

namespace {

using magnikit::FloatVector;

FloatVector separations(std::size_t count, double first, double last) {
  FloatVector l(count);
  for (std::size_t i = 0; i < count; ++i) {
    l[i] = first + (last - first) * static_cast<double>(i) / static_cast<double>(count);
  }
  return l;
}

double checksum = 0.0;

void far_field_series(const FloatVector& l, double stretch) {
  for (const double x : l) {
    const double separation = magnikit::FAR_FIELD_SEPARATION + stretch * x;
    const double h = 1.0 / (separation * separation);
    checksum += magnikit::far_field_magnification(0.1 * separation, h,
                                                  magnikit::UNIFORM_DISC_MOMENTS);
  }
}

const std::map<std::string, std::function<void(const FloatVector&)>> models = {
    {"witt_mao_magnification",
     [](const FloatVector& l) {
       auto result = magnikit::witt_mao_magnification(l, 1.0, 0.1, magnikit::Checkpoint{});
       if (result) checksum += (*result)[result->size() / 2];
     }},
    {"integrated_witt_mao_magnification",
     [](const FloatVector& l) {
       auto result = magnikit::integrated_witt_mao_magnification(l, 1.0, 0.1, magnikit::Checkpoint{});
       if (result) checksum += (*result)[result->size() / 2];
     }},
    {"integrated_heyrovsky_magnification",
     [](const FloatVector& l) {
       auto result = magnikit::integrated_heyrovsky_magnification(l, 1.0, 0.1, magnikit::Checkpoint{});
       if (result) checksum += (*result)[result->size() / 2];
     }},
    // One ring evaluation per separation, for a ring of radius 0.5.
    {"heyrovsky_magnification",
     [](const FloatVector& l) {
       for (const double x : l) {
         auto result = magnikit::heyrovsky_magnification(x, 0.5, 1.0, 0.1);
         if (result) checksum += *result;
       }
     }},
    // One uniform-disc evaluation per separation, for a disc of radius 0.5,
    // as inside the integrand of the integrated Witt-Mao form.
    {"uniform_disc_element",
     [](const FloatVector& l) {
       for (const double x : l) {
         auto result = magnikit::UniformSource(1.0, 0.1 * 0.5).magnification(x / 0.5);
         if (result) checksum += *result;
       }
     }},
    // The far-field series alone, for a uniform disc of 0.1 Einstein radii:
    // lenses 6 to 1005 source radii away, and 6 to 11 (where every term
    // counts).
    {"far_field_series",
     [](const FloatVector& l) { far_field_series(l, 333.0); }},
    {"far_field_series_at_threshold",
     [](const FloatVector& l) { far_field_series(l, 5.0 / 3.0); }},
};

}  // namespace

int main(int argc, char** argv) {
  if ((argc != 4 && argc != 6) || !models.contains(argv[1])) {
    std::fprintf(stderr, "usage: kernel_benchmark MODEL SEPARATIONS REPEATS [FIRST LAST]\nmodels:");
    for (const auto& [name, run] : models) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const auto& run = models.at(argv[1]);
  const auto count = static_cast<std::size_t>(std::atol(argv[2]));
  const int repeats = std::atoi(argv[3]);
  const double first = argc == 6 ? std::atof(argv[4]) : 0.0;
  const double last = argc == 6 ? std::atof(argv[5]) : 3.0;
  const FloatVector l = separations(count, first, last);
  double best = std::numeric_limits<double>::infinity();
  for (int r = 0; r < repeats; ++r) {
    const std::clock_t start = std::clock();
    run(l);
    const double elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC * 1e9;
    best = std::min(best, elapsed / static_cast<double>(count));
  }
  std::printf("%.3f\n", best);
  return checksum == 12345.0 ? 1 : 0;
}
