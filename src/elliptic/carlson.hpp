// Carlson's symmetric elliptic integrals R_C, R_F, R_D and R_J, computed by
// the duplication method (Carlson 1995, Numer. Algorithms 10, 13-26), with
// closed forms for the degenerate cases and an arithmetic-geometric mean where
// one argument is zero. Pure functions: no allocation, no state.
#pragma once

#include "core/computation.hpp"

namespace magnikit {

// R_C(x, y), x >= 0, y != 0; the Cauchy principal value for y < 0.
Computed<double> elliprc(double x, double y);
// R_F(x, y, z), x, y, z >= 0, at most one of them zero.
Computed<double> elliprf(double x, double y, double z);
// R_D(x, y, z), x, y >= 0 not both zero, z > 0.
Computed<double> elliprd(double x, double y, double z);
// R_J(x, y, z, p), x, y, z >= 0 at most one zero, p != 0; the Cauchy
// principal value for p < 0.
Computed<double> elliprj(double x, double y, double z, double p);

}  // namespace magnikit
