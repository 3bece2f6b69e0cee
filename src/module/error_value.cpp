#include "module/error_value.hpp"

#include "core/internal_failure.hpp"
#include "module/messages.hpp"
#include "module/panic.hpp"

namespace magnikit {

void python_api_call_failed(std::source_location where) {
  if (PyErr_Occurred() != nullptr) PyErr_Print();
  internal_failure("Python API call failed", where);
}

PyRef new_str(std::string_view text) {
  PyRef object = PyRef::steal(
      PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!object) python_api_call_failed();
  return object;
}

ErrorValue ErrorValue::runtime_error(std::string_view static_text) {
  return ErrorValue(Deferred{PyExc_RuntimeError, static_text});
}

ErrorValue ErrorValue::type_error(std::string text) {
  return ErrorValue(Deferred{PyExc_TypeError, std::move(text)});
}

ErrorValue ErrorValue::type_mismatch(PyObject* object, std::string_view target) {
  return ErrorValue(Deferred{PyExc_TypeError, TypeMismatch{PyRef::borrow(object), target}});
}

ErrorValue ErrorValue::attribute_error(std::string_view static_text) {
  return ErrorValue(Deferred{PyExc_AttributeError, static_text});
}

ErrorValue ErrorValue::nothing_set() {
  return ErrorValue(
      Deferred{PyExc_SystemError, std::string_view("attempted to fetch exception but none was set")});
}

ErrorValue ErrorValue::panic(std::string text) {
  return ErrorValue(Deferred{panic_exception_type(), std::move(text), true});
}

ErrorValue ErrorValue::normalized(PyRef type, PyRef value, PyRef traceback) {
  return ErrorValue(Normalized{std::move(type), std::move(value), std::move(traceback)});
}

PyRef ErrorValue::payload_object(const Deferred& deferred) {
  PyRef text;
  if (auto* constant = std::get_if<std::string_view>(&deferred.payload)) {
    text = new_str(*constant);
  } else if (auto* owned = std::get_if<std::string>(&deferred.payload)) {
    text = new_str(*owned);
  } else {
    const auto& mismatch = std::get<TypeMismatch>(deferred.payload);
    std::string message = "'";
    message += type_name_of(mismatch.object.get());
    message += "' object cannot be converted to '";
    message += mismatch.target;
    message += '\'';
    text = new_str(message);
  }
  if (!deferred.as_arguments_tuple) return text;
  // The panic exception takes its arguments from a one-element tuple.
  PyRef arguments = PyRef::steal(PyTuple_New(1));
  if (!arguments) python_api_call_failed();
  if (PyTuple_SetItem(arguments.get(), 0, text.release()) != 0) python_api_call_failed();
  return arguments;
}

ErrorValue::Normalized& ErrorValue::normalize() {
  if (auto* deferred = std::get_if<Deferred>(&state_)) {
    // The interpreter builds the instance from the payload: set it as the
    // pending exception, then take it back normalised.
    PyErr_SetObject(deferred->type, payload_object(*deferred).get());
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    Normalized normalized{PyRef::steal(type), PyRef::steal(value), PyRef::steal(traceback)};
    if (!normalized.type) internal_failure("Exception type missing");
    if (!normalized.value) internal_failure("Exception value missing");
    state_ = std::move(normalized);
  }
  return std::get<Normalized>(state_);
}

void ErrorValue::raise() && {
  Normalized& normalized = normalize();
  PyErr_Restore(normalized.type.release(), normalized.value.release(),
                normalized.traceback.release());
}

bool ErrorValue::is_exactly(PyObject* type) {
  if (auto* deferred = std::get_if<Deferred>(&state_)) return deferred->type == type;
  return std::get<Normalized>(state_).type.get() == type;
}

std::optional<ErrorValue> take_pending_error() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) {
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return std::nullopt;
  }
  PyErr_NormalizeException(&type, &value, &traceback);
  ErrorValue::Normalized normalized{PyRef::steal(type), PyRef::steal(value),
                                    PyRef::steal(traceback)};
  if (!normalized.value) internal_failure("normalized exception value missing");
  if (Py_TYPE(normalized.value.get()) ==
      reinterpret_cast<PyTypeObject*>(panic_exception_type())) {
    resume_panic(std::move(normalized));
  }
  return ErrorValue::normalized(std::move(normalized.type), std::move(normalized.value),
                                std::move(normalized.traceback));
}

ErrorValue fetch_pending_error() {
  if (auto error = take_pending_error()) return *std::move(error);
  return ErrorValue::nothing_set();
}

}  // namespace magnikit
