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

}  // namespace magnikit
