// The complete Legendre elliptic integrals in the parameter m = k^2:
// K(m) of the first kind, E(m) of the second, Pi(n, m) of the third with
// characteristic n. Pure functions: no allocation, no state.
#pragma once

#include "core/computation.hpp"

namespace magnikit {

Computed<double> ellipk(double m);
Computed<double> ellipe(double m);
// Note the argument order: the characteristic n first, then the parameter m.
Computed<double> ellippi(double n, double m);

// The same integrals as functions of the complementary parameter mc = 1 - m
// and characteristic nc = 1 - n: K(1 - mc), E(1 - mc) and Pi(1 - nc, 1 - mc),
// for mc >= 0 and nc >= 0. Near m = 1 and n = 1 the integrals depend on the
// digits of 1 - m and 1 - n, which forming m or n first and subtracting from
// 1 would lose; a caller that forms the complements directly (as products,
// say) keeps them, and with them the integrals, to full relative accuracy.
// For nc > 1 (n < 0) Pi is a difference that cancels as n goes to minus
// infinity; ellippi is the accurate way there. Where nc * mc underflows to
// zero with nc < mc (Pi beyond about 1e161), Pi is NaN.
Computed<double> ellipk_complementary(double mc);
Computed<double> ellipe_complementary(double mc);
// The complement of the characteristic first, as in ellippi.
Computed<double> ellippi_complementary(double nc, double mc);

}  // namespace magnikit
