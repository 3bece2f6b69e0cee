// The two environment settings the module reads when it is imported, both
// meant for comparing its own paths: MAGNIKIT_LANES forces a path of the
// vector lanes (numeric/lanes.hpp), MAGNIKIT_GENERAL_CONVERSION=1 makes it
// read every sequence by iteration (conversions.hpp).
#pragma once

#include "module/error_value.hpp"

namespace magnikit {

// Whether MAGNIKIT_GENERAL_CONVERSION asks for reading by iteration.
bool general_conversion_requested();

// Warns (RuntimeWarning) of a setting whose value the module does not
// understand and ignores, naming the values it accepts. Fails when the
// warning is turned into an error.
PyResult<void> warn_of_unknown_settings();

}  // namespace magnikit
