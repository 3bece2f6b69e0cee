#include "module/messages.hpp"

#include "module/attribute_names.hpp"
#include "module/error_value.hpp"
#include "core/internal_failure.hpp"

#include <optional>

namespace magnikit {
namespace {

std::optional<std::string> utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr) return std::nullopt;
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

std::string lossy_utf8(PyObject* text) {
  if (auto utf8 = utf8_of(text)) return *std::move(utf8);
  PyErr_Clear();
  PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  if (!bytes) python_api_call_failed();
  PyRef decoded = PyRef::steal(PyUnicode_DecodeUTF8(
      PyBytes_AsString(bytes.get()), PyBytes_Size(bytes.get()), "replace"));
  if (!decoded) python_api_call_failed();
  if (auto utf8 = utf8_of(decoded.get())) return *std::move(utf8);
  python_api_call_failed();
}

std::string display(PyObject* object) {
  PyRef text = PyRef::steal(PyObject_Str(object));
  if (text) return lossy_utf8(text.get());
  PyErr_WriteUnraisable(object);
  PyRef type_name = PyRef::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(object)),
                                                  name_attribute()));
  if (type_name && PyUnicode_Check(type_name.get())) {
    if (auto name = utf8_of(type_name.get())) return "<unprintable " + *name + " object>";
  }
  PyErr_Clear();
  return "<unprintable object>";
}

std::string quoted_list(std::span<const std::string_view> names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) list += ',';
      list += (i + 1 == names.size()) ? " and " : " ";
    }
    list += '\'';
    list += names[i];
    list += '\'';
  }
  return list;
}

std::string type_name_of(PyObject* object) {
  PyRef qualname = PyRef::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(object)),
                                                 qualname_attribute()));
  if (qualname && PyUnicode_Check(qualname.get())) {
    if (auto name = utf8_of(qualname.get())) return *std::move(name);
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

}  // namespace magnikit
