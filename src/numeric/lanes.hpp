// Lanes: several independent evaluations of one formula carried side by side
// in a short vector of doubles, so that the square roots and divisions of
// neighbouring quadrature nodes overlap in the vector unit instead of
// waiting on each other.
//
// The numeric kernels are written once, as templates over a lane type T:
// double for the scalar functions, Double2 (SSE2 on x86-64, NEON on arm64)
// and Double4 (AVX2) for the batches. Every operation here is, lane by lane,
// the IEEE operation the scalar code performs on its double: +, -, *, / and
// sqrt are correctly rounded in each lane, comparisons are the ordered IEEE
// comparisons, and maths-library functions (log, atan, pow) are called lane
// by lane. So each lane's result is the scalar result to the last bit.
//
// Control flow becomes masks: a comparison gives a Mask<T> (bool for
// double), select() picks lane by lane, and a loop runs while any() lane
// still needs it, with the lanes that are done frozen by select().
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define MAGNIKIT_LANES_X86_64 1
#elif defined(__GNUC__) && defined(__aarch64__)
#include <arm_neon.h>
#define MAGNIKIT_LANES_NEON 1
#endif

namespace magnikit::lanes {

// --- The widths this build can run ------------------------------------------

// Lanes per batch step: 1 is the scalar code; 2 needs SSE2 (part of every
// x86-64 CPU) or NEON (every arm64 CPU); 4 needs AVX2, and is chosen only on
// a CPU that has it. Compilers without GCC-style vector types (MSVC) have
// the scalar code only.
enum class Width { one = 1, two = 2, four = 4 };

// --- One lane: the scalar code ------------------------------------------------

template <class T>
inline constexpr std::size_t count = sizeof(T) / sizeof(double);

template <class T>
using Mask = decltype(T{} < T{});

inline double sqrt(double x) { return std::sqrt(x); }
inline double abs(double x) { return std::fabs(x); }
inline double select(bool take_first, double a, double b) { return take_first ? a : b; }
inline bool any(bool mask) { return mask; }
inline bool all(bool mask) { return mask; }
inline double get(double v, std::size_t) { return v; }
inline void set(double& v, std::size_t, double x) { v = x; }
inline bool holds(bool mask, std::size_t) { return mask; }

// fmax and fmin of the maths library (a single NaN operand is ignored),
// without its call for ordered, unequal operands; ties (where the library
// decides the sign of a zero) and NaN go to the library.
inline double fmax(double a, double b) {
  if (a < b) return b;
  if (b < a) return a;
  return std::fmax(a, b);
}
inline double fmin(double a, double b) {
  if (a < b) return a;
  if (b < a) return b;
  return std::fmin(a, b);
}

template <class T>
  requires std::is_same_v<T, double>
inline double splat(double x) {
  return x;
}
template <class T>
  requires std::is_same_v<T, double>
inline double load(const double* source) {
  return *source;
}
inline void store(double* target, double v) { *target = v; }

// A function of one double (a maths-library call), applied lane by lane.
template <class F>
inline double each(double v, F&& f) {
  return f(v);
}

// --- Vector lanes ---------------------------------------------------------------

#if defined(MAGNIKIT_LANES_X86_64) || defined(MAGNIKIT_LANES_NEON)
#define MAGNIKIT_VECTOR_LANES 1

using Double2 = double __attribute__((vector_size(16)));
#if defined(MAGNIKIT_LANES_X86_64)
using Double4 = double __attribute__((vector_size(32)));
// Code for four lanes is compiled for AVX2 function by function and runs
// only where the CPU has it; the rest of the program stays baseline x86-64.
#define MAGNIKIT_AVX2 __attribute__((target("avx2")))
// Four-lane values pass only between functions inlined into an AVX2 entry
// point, so the calling convention GCC notes for them without AVX never
// applies.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

// A vector of doubles (not its mask, whose lanes are 64-bit integers).
template <class T>
concept Vector = std::is_same_v<std::remove_cvref_t<decltype(T{}[0])>, double>;

template <Vector T>
inline T splat(double x) {
  T v;
  for (std::size_t i = 0; i < count<T>; ++i) v[i] = x;
  return v;
}
template <Vector T>
inline T load(const double* source) {
  T v;
  std::memcpy(&v, source, sizeof v);
  return v;
}
template <Vector T>
inline void store(double* target, T v) {
  std::memcpy(target, &v, sizeof v);
}
template <Vector T>
inline double get(T v, std::size_t i) {
  return v[i];
}
template <Vector T>
inline void set(T& v, std::size_t i, double x) {
  v[i] = x;
}
// Whether lane i of a mask is set.
template <class M>
  requires(!std::is_same_v<M, bool>)
inline bool holds(M mask, std::size_t i) {
  return mask[i] != 0;
}
template <Vector T>
inline T select(Mask<T> take_first, T a, T b) {
  return take_first ? a : b;
}
// The sign bit cleared, as fabs does.
template <Vector T>
inline T abs(T v) {
  return reinterpret_cast<T>(reinterpret_cast<Mask<T>>(v) & INT64_MAX);
}
template <Vector T, class F>
inline T each(T v, F&& f) {
  for (std::size_t i = 0; i < count<T>; ++i) v[i] = f(v[i]);
  return v;
}

#if defined(MAGNIKIT_LANES_X86_64)
inline Double2 sqrt(Double2 x) { return _mm_sqrt_pd(x); }
inline bool any(Mask<Double2> mask) { return _mm_movemask_pd(reinterpret_cast<__m128d>(mask)) != 0; }
inline bool all(Mask<Double2> mask) { return _mm_movemask_pd(reinterpret_cast<__m128d>(mask)) == 3; }
MAGNIKIT_AVX2 inline Double4 sqrt(Double4 x) { return _mm256_sqrt_pd(x); }
MAGNIKIT_AVX2 inline bool any(Mask<Double4> mask) {
  return _mm256_movemask_pd(reinterpret_cast<__m256d>(mask)) != 0;
}
MAGNIKIT_AVX2 inline bool all(Mask<Double4> mask) {
  return _mm256_movemask_pd(reinterpret_cast<__m256d>(mask)) == 15;
}
#else
inline Double2 sqrt(Double2 x) { return vsqrtq_f64(x); }
inline bool any(Mask<Double2> mask) { return (mask[0] | mask[1]) != 0; }
inline bool all(Mask<Double2> mask) { return (mask[0] & mask[1]) != 0; }
#endif

// The maths library's fmax and fmin lane by lane: ordered, unequal lanes
// by comparison, ties and NaN by the library.
template <Vector T>
inline T fmax(T a, T b) {
  T result = select<T>(a < b, b, a);
  const Mask<T> ordered = (a < b) | (b < a);
  if (!all(ordered)) {
    for (std::size_t i = 0; i < count<T>; ++i) {
      if (ordered[i] == 0) result[i] = std::fmax(a[i], b[i]);
    }
  }
  return result;
}
template <Vector T>
inline T fmin(T a, T b) {
  T result = select<T>(a < b, a, b);
  const Mask<T> ordered = (a < b) | (b < a);
  if (!all(ordered)) {
    for (std::size_t i = 0; i < count<T>; ++i) {
      if (ordered[i] == 0) result[i] = std::fmin(a[i], b[i]);
    }
  }
  return result;
}
#endif  // vector lanes

// --- Choosing the width --------------------------------------------------------

// The widest width this CPU runs, or the one MAGNIKIT_LANES asks for
// (scalar, sse2 or neon, avx2) when the CPU runs it; read once per process.
// Forcing a narrower path is for comparing the paths against each other.
inline Width widest_available() {
#if defined(MAGNIKIT_LANES_X86_64)
  return __builtin_cpu_supports("avx2") ? Width::four : Width::two;
#elif defined(MAGNIKIT_LANES_NEON)
  return Width::two;
#else
  return Width::one;
#endif
}

inline Width choose_width() {
  const Width widest = widest_available();
  const char* asked = std::getenv("MAGNIKIT_LANES");
  if (asked == nullptr) return widest;
  const std::string_view name(asked);
  Width wanted = widest;
  if (name == "scalar") wanted = Width::one;
  if (name == "sse2" || name == "neon") wanted = Width::two;
  if (name == "avx2") wanted = Width::four;
  return static_cast<int>(wanted) <= static_cast<int>(widest) ? wanted : widest;
}

inline Width active_width() {
  static const Width width = choose_width();
  return width;
}

// Whether this build and CPU run the given width.
inline bool available(Width width) {
  return static_cast<int>(width) <= static_cast<int>(widest_available());
}

}  // namespace magnikit::lanes
