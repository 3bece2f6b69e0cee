// A double written as Python's repr writes it (the shortest decimal that
// reads back as the same double), for messages that quote a caller's value.
#pragma once

#include <charconv>
#include <string>

namespace magnikit {

inline std::string decimal(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  std::string shown(text, end);
  // Python marks a whole number as a float: 0.0, not 0.
  if (shown.find_first_of(".eni") == std::string::npos) shown += ".0";
  return shown;
}

}  // namespace magnikit
