// Radial brightness profiles of the source: surface brightness as a function
// of the radius on the source disc, in source radii.
#pragma once

#include <cmath>
#include <memory>
#include <type_traits>

namespace magnikit {

// A non-owning reference to any callable double(double), valid while the
// callable lives. The integrated models take their profile this way, so the
// built-in law and a profile interpolated from the caller's samples go
// through the same code.
class BrightnessProfile {
 public:
  template <class Callable>
    requires(!std::is_same_v<std::remove_cvref_t<Callable>, BrightnessProfile> &&
             std::is_invocable_r_v<double, Callable&, double>)
  BrightnessProfile(Callable& callable) noexcept  // NOLINT: implicit by design
      : object_(std::addressof(callable)), call_(&invoke<Callable>) {}

  BrightnessProfile(double (*function)(double)) noexcept  // NOLINT
      : object_(reinterpret_cast<void*>(function)), call_(&invoke_function) {}

  double operator()(double x) const { return call_(object_, x); }

 private:
  template <class Callable>
  static double invoke(void* object, double x) {
    return (*static_cast<Callable*>(object))(x);
  }
  static double invoke_function(void* function, double x) {
    return reinterpret_cast<double (*)(double)>(function)(x);
  }

  void* object_;
  double (*call_)(void*, double);
};

// The linear limb-darkening law I = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2).
inline double linear_limb_darkening(double x) {
  return 1.0 + (1.0 - std::sqrt(1.0 - x * x)) * (-0.6);
}

// The tanh-sinh value of the integral of 2 pi x I(x) over [0, 1] for the law
// above, to the last bit (the exact value is 0.8 pi). Dividing by the rule's
// own value of the flux keeps a uniform magnification exactly uniform.
inline constexpr double LIMB_DARKENING_NORM = 2.5132741228717936;

}  // namespace magnikit
