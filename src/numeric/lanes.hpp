// Lanes: several independent evaluations of one formula carried side by side
// in a short vector of doubles, so that the square roots and divisions of
// neighbouring quadrature nodes overlap in the vector unit instead of
// waiting on each other.
//
// The numeric kernels are written once, as templates over a lane type T:
// double for the scalar functions, a pair of Double2 (SSE2 on x86-64, NEON
// on arm64) or one Double4 (AVX2) for the batches. Every operation here is,
// lane by lane, the IEEE operation the scalar code performs on its double:
// +, -, *, / and sqrt are correctly rounded in each lane, comparisons are the
// ordered IEEE comparisons, and maths-library functions (log, atan, pow) are
// called lane by lane. So each lane's result is the scalar result to the
// last bit.
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
#include <optional>
#include <string_view>
#include <type_traits>

// GCC and Clang (and compilers that define __GNUC__ with them) have vector
// types; MAGNIKIT_SCALAR_ONLY builds the scalar path alone, as for MSVC.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(MAGNIKIT_SCALAR_ONLY)
#include <immintrin.h>
#define MAGNIKIT_LANES_X86_64 1
#elif defined(__GNUC__) && defined(__aarch64__) && !defined(MAGNIKIT_SCALAR_ONLY)
#include <arm_neon.h>
#define MAGNIKIT_LANES_NEON 1
#endif

// The generic kernels are inlined wherever they are used, so that a batch
// compiled for AVX2 has them all in its own body, compiled for AVX2, with
// every compiler (Clang's flatten stops at its cost threshold).
#if defined(__GNUC__)
#define MAGNIKIT_KERNEL [[gnu::always_inline]] inline
#else
#define MAGNIKIT_KERNEL inline
#endif

namespace magnikit::lanes {

// --- The paths this build can run --------------------------------------------

// scalar: the scalar functions one evaluation at a time (the only path of a
// compiler without GCC-style vector types, such as MSVC). baseline: the
// vector unit every CPU of the architecture has, SSE2 on x86-64 and NEON on
// arm64, two doubles wide. avx2: four doubles wide, on x86-64 CPUs that have
// AVX2. Both vector paths carry four lanes: the baseline path as two vectors
// side by side (Pair below). Four lanes measured fastest on both: fewer leave
// the square roots and divisions of one lane waiting on each other, more
// leave lanes idle while the slowest lane of their vector finishes.
enum class Path { scalar, baseline, avx2 };

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

// A function of one double (a maths-library call), applied lane by lane to
// the lanes a mask selects; the others keep their value.
template <class F>
inline double each(bool selected, double v, F&& f) {
  return selected ? f(v) : v;
}

// The mask with every lane set.
template <class T>
  requires std::is_same_v<T, double>
inline bool all_lanes() {
  return true;
}

// The mask of the lanes i for which holds_at(i) is true: a scalar test
// asked lane by lane.
template <class T, class Test>
  requires std::is_same_v<T, double>
inline bool mask_where(Test&& holds_at) {
  return holds_at(std::size_t{0});
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

// A vector type of the compiler's: the lanes of a GCC vector of doubles or
// of its mask (64-bit integers, all bits set for true).
template <class T>
concept Native = !std::is_class_v<T> && !std::is_arithmetic_v<T> && !std::is_pointer_v<T> &&
                 requires(T v) { v[0]; };

template <Native T>
MAGNIKIT_KERNEL double get(T v, std::size_t i) {
  return v[i];
}
template <Native T>
MAGNIKIT_KERNEL void set(T& v, std::size_t i, double x) {
  v[i] = x;
}
template <Native M>
MAGNIKIT_KERNEL bool holds(M mask, std::size_t i) {
  return mask[i] != 0;
}
template <Native T>
MAGNIKIT_KERNEL T select(Mask<T> take_first, T a, T b) {
  return take_first ? a : b;
}
// The sign bit cleared, as fabs does.
template <Native T>
MAGNIKIT_KERNEL T abs(T v) {
  return reinterpret_cast<T>(reinterpret_cast<Mask<T>>(v) & INT64_MAX);
}

#if defined(MAGNIKIT_LANES_X86_64)
MAGNIKIT_KERNEL Double2 sqrt(Double2 x) { return _mm_sqrt_pd(x); }
MAGNIKIT_KERNEL bool any(Mask<Double2> mask) {
  return _mm_movemask_pd(reinterpret_cast<__m128d>(mask)) != 0;
}
MAGNIKIT_KERNEL bool all(Mask<Double2> mask) {
  return _mm_movemask_pd(reinterpret_cast<__m128d>(mask)) == 3;
}
// The AVX2 instructions, in functions compiled for AVX2 that take and give
// their vectors by reference: the generic kernels that call them are
// compiled for the baseline until they are inlined into an AVX2 entry
// point, and no vector of four doubles may pass between the two by value.
MAGNIKIT_AVX2 inline void avx2_sqrt(const Double4& x, Double4& root) { root = _mm256_sqrt_pd(x); }
MAGNIKIT_AVX2 inline int avx2_sign_bits(const Mask<Double4>& mask) {
  return _mm256_movemask_pd(reinterpret_cast<__m256d>(mask));
}
MAGNIKIT_KERNEL Double4 sqrt(Double4 x) {
  Double4 root;
  avx2_sqrt(x, root);
  return root;
}
MAGNIKIT_KERNEL bool any(Mask<Double4> mask) { return avx2_sign_bits(mask) != 0; }
MAGNIKIT_KERNEL bool all(Mask<Double4> mask) { return avx2_sign_bits(mask) == 15; }
#else
MAGNIKIT_KERNEL Double2 sqrt(Double2 x) { return vsqrtq_f64(x); }
MAGNIKIT_KERNEL bool any(Mask<Double2> mask) { return (mask[0] | mask[1]) != 0; }
MAGNIKIT_KERNEL bool all(Mask<Double2> mask) { return (mask[0] & mask[1]) != 0; }
#endif

// Two vectors side by side, the same operations on twice the lanes. Their
// halves are independent chains of dependent operations, which the CPU
// overlaps: one half's square root or division issues while the other's is
// still in flight.
template <class V>
struct Pair {
  V low;
  V high;
  auto operator[](std::size_t i) const { return i < count<V> ? low[i] : high[i - count<V>]; }
};

template <class T>
concept Scalar = std::is_arithmetic_v<T>;

#define MAGNIKIT_PAIR_OPERATOR(OP)                                           \
  template <class V>                                                         \
  MAGNIKIT_KERNEL auto operator OP(Pair<V> a, Pair<V> b) {                   \
    return Pair<decltype(a.low OP b.low)>{a.low OP b.low, a.high OP b.high}; \
  }                                                                          \
  template <class V, Scalar S>                                               \
  MAGNIKIT_KERNEL auto operator OP(Pair<V> a, S b) {                         \
    return Pair<decltype(a.low OP b)>{a.low OP b, a.high OP b};              \
  }                                                                          \
  template <class V, Scalar S>                                               \
  MAGNIKIT_KERNEL auto operator OP(S a, Pair<V> b) {                         \
    return Pair<decltype(a OP b.low)>{a OP b.low, a OP b.high};              \
  }
MAGNIKIT_PAIR_OPERATOR(+)
MAGNIKIT_PAIR_OPERATOR(-)
MAGNIKIT_PAIR_OPERATOR(*)
MAGNIKIT_PAIR_OPERATOR(/)
MAGNIKIT_PAIR_OPERATOR(<)
MAGNIKIT_PAIR_OPERATOR(<=)
MAGNIKIT_PAIR_OPERATOR(>)
MAGNIKIT_PAIR_OPERATOR(>=)
MAGNIKIT_PAIR_OPERATOR(==)
MAGNIKIT_PAIR_OPERATOR(!=)
MAGNIKIT_PAIR_OPERATOR(&)
MAGNIKIT_PAIR_OPERATOR(|)
#undef MAGNIKIT_PAIR_OPERATOR

template <class V>
MAGNIKIT_KERNEL Pair<V> operator-(Pair<V> a) {
  return {-a.low, -a.high};
}
template <class V>
MAGNIKIT_KERNEL auto operator!(Pair<V> a) {
  return Pair<decltype(!a.low)>{!a.low, !a.high};
}

template <class V>
MAGNIKIT_KERNEL double get(const Pair<V>& v, std::size_t i) {
  return v[i];
}
template <class V>
MAGNIKIT_KERNEL void set(Pair<V>& v, std::size_t i, double x) {
  if (i < count<V>) {
    v.low[i] = x;
  } else {
    v.high[i - count<V>] = x;
  }
}
template <class M>
MAGNIKIT_KERNEL bool holds(const Pair<M>& mask, std::size_t i) {
  return mask[i] != 0;
}
template <class V, class M>
MAGNIKIT_KERNEL Pair<V> select(Pair<M> take_first, Pair<V> a, Pair<V> b) {
  return {select(take_first.low, a.low, b.low), select(take_first.high, a.high, b.high)};
}
template <class V>
MAGNIKIT_KERNEL Pair<V> abs(Pair<V> v) {
  return {abs(v.low), abs(v.high)};
}
template <class V>
MAGNIKIT_KERNEL Pair<V> sqrt(Pair<V> v) {
  return {sqrt(v.low), sqrt(v.high)};
}
template <class M>
MAGNIKIT_KERNEL bool any(Pair<M> mask) {
  return any(mask.low | mask.high);
}
template <class M>
MAGNIKIT_KERNEL bool all(Pair<M> mask) {
  return all(mask.low & mask.high);
}

// Any vector lane type: a compiler vector or a pair of them.
template <class T>
concept Vector = Native<T> || requires(T v) { v.low; };

template <Vector T>
MAGNIKIT_KERNEL T splat(double x) {
  T v{};
  for (std::size_t i = 0; i < count<T>; ++i) set(v, i, x);
  return v;
}
template <Vector T>
MAGNIKIT_KERNEL T load(const double* source) {
  T v;
  std::memcpy(&v, source, sizeof v);
  return v;
}
template <Vector T>
MAGNIKIT_KERNEL void store(double* target, T v) {
  std::memcpy(target, &v, sizeof v);
}
template <Vector T, class F>
MAGNIKIT_KERNEL T each(Mask<T> selected, T v, F&& f) {
  double values[count<T>];
  store(values, v);
  for (std::size_t i = 0; i < count<T>; ++i) {
    if (holds(selected, i)) values[i] = f(values[i]);
  }
  return load<T>(values);
}
template <Vector T>
MAGNIKIT_KERNEL Mask<T> all_lanes() {
  const T zero = splat<T>(0.0);
  return zero == zero;
}
template <Vector T, class Test>
MAGNIKIT_KERNEL Mask<T> mask_where(Test&& holds_at) {
  T marks = splat<T>(0.0);
  for (std::size_t i = 0; i < count<T>; ++i) {
    if (holds_at(i)) set(marks, i, 1.0);
  }
  return marks != 0.0;
}

// The maths library's fmax and fmin lane by lane: ordered, unequal lanes
// by comparison, ties and NaN by the library.
template <Vector T>
MAGNIKIT_KERNEL T fmax(T a, T b) {
  T result = select(a < b, b, a);
  const Mask<T> ordered = (a < b) | (b < a);
  if (!all(ordered)) {
    for (std::size_t i = 0; i < count<T>; ++i) {
      if (!holds(ordered, i)) set(result, i, std::fmax(get(a, i), get(b, i)));
    }
  }
  return result;
}
template <Vector T>
MAGNIKIT_KERNEL T fmin(T a, T b) {
  T result = select(a < b, a, b);
  const Mask<T> ordered = (a < b) | (b < a);
  if (!all(ordered)) {
    for (std::size_t i = 0; i < count<T>; ++i) {
      if (!holds(ordered, i)) set(result, i, std::fmin(get(a, i), get(b, i)));
    }
  }
  return result;
}
#endif  // vector lanes

// --- Choosing the path ----------------------------------------------------------

// The fastest path this build and CPU run, read once per process.
inline Path fastest_available() {
#if defined(MAGNIKIT_LANES_X86_64)
  // The CPU's features and the operating system's support for their
  // registers, as the compiler's runtime reads them.
  static const Path fastest = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? Path::avx2 : Path::baseline;
  }();
  return fastest;
#elif defined(MAGNIKIT_LANES_NEON)
  return Path::baseline;
#else
  return Path::scalar;
#endif
}

// Whether this build and CPU run the path.
inline bool available(Path path) {
  return static_cast<int>(path) <= static_cast<int>(fastest_available());
}

// The path a value of MAGNIKIT_LANES names: scalar, baseline (or its
// names sse2 and neon) or avx2; nothing for any other value.
inline std::optional<Path> named_path(std::string_view name) {
  if (name == "scalar") return Path::scalar;
  if (name == "baseline" || name == "sse2" || name == "neon") return Path::baseline;
  if (name == "avx2") return Path::avx2;
  return std::nullopt;
}

// The fastest available path, or the one MAGNIKIT_LANES names when this
// CPU runs it. Forcing a slower path is for comparing the paths; the module
// warns of a value that names no path, which is ignored.
inline Path choose_path() {
  const Path fastest = fastest_available();
  const char* asked = std::getenv("MAGNIKIT_LANES");
  if (asked == nullptr) return fastest;
  const Path wanted = named_path(asked).value_or(fastest);
  return available(wanted) ? wanted : fastest;
}

// The path of this process, chosen once.
inline Path active_path() {
  static const Path path = choose_path();
  return path;
}

}  // namespace magnikit::lanes
