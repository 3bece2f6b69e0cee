// Texts that go inside exception messages: objects shown by their str(),
// strings as lossy UTF-8, and lists of parameter names.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "module/py_ref.hpp"

namespace magnikit {

// The UTF-8 text of a str; text that cannot be encoded (lone surrogates) is
// encoded with surrogatepass and every invalid sequence replaced by U+FFFD.
std::string lossy_utf8(PyObject* text);

// str(object) as lossy UTF-8; when str() fails the failure is reported as
// unraisable and "<unprintable {type} object>" stands in its place.
std::string display(PyObject* object);

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(std::span<const std::string_view> names);

// The __qualname__ of the object's type, for type-mismatch messages.
std::string type_name_of(PyObject* object);

}  // namespace magnikit
