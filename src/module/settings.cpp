#include "module/settings.hpp"

#include <cstdlib>
#include <string>
#include <string_view>

#include "numeric/lanes.hpp"

namespace magnikit {
namespace {

const char* setting(const char* name) { return std::getenv(name); }

PyResult<void> warn(const std::string& message) {
  if (PyErr_WarnEx(PyExc_RuntimeWarning, message.c_str(), 1) != 0) {
    return raise_later(fetch_pending_error());
  }
  return {};
}

}  // namespace

bool general_conversion_requested() {
  const char* value = setting("MAGNIKIT_GENERAL_CONVERSION");
  return value != nullptr && std::string_view(value) == "1";
}

PyResult<void> warn_of_unknown_settings() {
  if (const char* lanes = setting("MAGNIKIT_LANES"); lanes && !lanes::named_path(lanes)) {
    if (auto warned = warn("MAGNIKIT_LANES=" + std::string(lanes) +
                           " is not understood and is ignored; it accepts scalar, baseline "
                           "(or sse2, neon) and avx2");
        !warned) {
      return warned;
    }
  }
  if (const char* conversion = setting("MAGNIKIT_GENERAL_CONVERSION")) {
    const std::string_view value(conversion);
    if (value != "1" && value != "0" && !value.empty()) {
      return warn("MAGNIKIT_GENERAL_CONVERSION=" + std::string(value) +
                  " is not understood and is ignored; it accepts 1 (read every sequence by "
                  "iteration) and 0");
    }
  }
  return {};
}

}  // namespace magnikit
