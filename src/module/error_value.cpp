#include "module/error_value.hpp"

#include "core/internal_failure.hpp"
#include "module/messages.hpp"
#include "module/panic.hpp"

namespace magnikit {

void python_api_call_failed(std::source_location where) {
  if (PyErr_Occurred() != nullptr) PyErr_Print();
  internal_failure("Python API call failed", where);
}

namespace {

// Whether the pending exception says that memory ran out. PyPy reports
// memory that runs out inside its C API as a SystemError whose one argument
// is the text "<MemoryError object at 0x...>"; it is made a MemoryError.
bool out_of_memory_pending() {
  if (PyErr_ExceptionMatches(PyExc_MemoryError) != 0) return true;
#ifdef PYPY_VERSION
  if (PyErr_ExceptionMatches(PyExc_SystemError) == 0) return false;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef arguments = PyRef::steal(value ? PyObject_GetAttrString(value, "args") : nullptr);
  if (!arguments) PyErr_Clear();
  bool memory = false;
  if (arguments && PyTuple_Check(arguments.get()) && PyTuple_GET_SIZE(arguments.get()) == 1) {
    PyObject* text = PyTuple_GET_ITEM(arguments.get(), 0);
    const char* utf8 = PyUnicode_Check(text) ? PyUnicode_AsUTF8(text) : nullptr;
    if (utf8 == nullptr) PyErr_Clear();
    memory = utf8 != nullptr && std::string_view(utf8).starts_with("<MemoryError object");
  }
  PyErr_Restore(type, value, traceback);
  if (memory) {
    PyErr_Clear();
    PyErr_NoMemory();
  }
  return memory;
#else
  return false;
#endif
}

}  // namespace

ErrorValue allocation_failed(std::source_location where) {
  if (out_of_memory_pending()) return ErrorValue::pending();
  python_api_call_failed(where);
}

PyRef new_str(std::string_view text) {
  PyRef object = PyRef::steal(
      PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!object) python_api_call_failed();
  return object;
}

ErrorValue ErrorValue::runtime_error(std::string_view static_text) {
  return ErrorValue(std::make_unique<State>(Deferred{PyExc_RuntimeError, static_text}));
}

ErrorValue ErrorValue::type_error(std::string text) {
  return ErrorValue(std::make_unique<State>(Deferred{PyExc_TypeError, std::move(text)}));
}

ErrorValue ErrorValue::type_mismatch(PyObject* object, std::string_view target) {
  return ErrorValue(std::make_unique<State>(
      Deferred{PyExc_TypeError, TypeMismatch{PyRef::borrow(object), target}}));
}

ErrorValue ErrorValue::attribute_error(std::string_view static_text) {
  return ErrorValue(std::make_unique<State>(Deferred{PyExc_AttributeError, static_text}));
}

ErrorValue ErrorValue::value_error(std::string text) {
  return ErrorValue(std::make_unique<State>(Deferred{PyExc_ValueError, std::move(text)}));
}

ErrorValue ErrorValue::profile_length_error(std::string text) {
  return ErrorValue(
      std::make_unique<State>(Deferred{profile_length_error_type(), std::move(text)}));
}

ErrorValue ErrorValue::nothing_set() {
  return ErrorValue(std::make_unique<State>(Deferred{
      PyExc_SystemError, std::string_view("attempted to fetch exception but none was set")}));
}

ErrorValue ErrorValue::panic(std::string text) {
  return ErrorValue(
      std::make_unique<State>(Deferred{panic_exception_type(), std::move(text), true}));
}

ErrorValue ErrorValue::normalized(PyRef type, PyRef value, PyRef traceback) {
  return ErrorValue(std::make_unique<State>(
      Normalized{std::move(type), std::move(value), std::move(traceback)}));
}

ErrorValue ErrorValue::pending() { return ErrorValue(nullptr); }

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

namespace {

// The interpreter's pending exception, normalised; a null type when nothing
// is pending.
ErrorValue::Normalized fetch_normalized() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (type != nullptr) PyErr_NormalizeException(&type, &value, &traceback);
  return {PyRef::steal(type), PyRef::steal(value), PyRef::steal(traceback)};
}

}  // namespace

ErrorValue::Normalized& ErrorValue::normalize() {
  if (!state_) {
    Normalized fetched = fetch_normalized();
    if (!fetched.type) return (*this = nothing_set()).normalize();
    if (!fetched.value) internal_failure("normalized exception value missing");
    state_ = std::make_unique<State>(std::move(fetched));
  } else if (auto* deferred = std::get_if<Deferred>(state_.get())) {
    // The interpreter builds the instance from the payload: set it as the
    // pending exception, then take it back normalised.
    PyErr_SetObject(deferred->type, payload_object(*deferred).get());
    Normalized normalized = fetch_normalized();
    if (!normalized.type) internal_failure("Exception type missing");
    if (!normalized.value) internal_failure("Exception value missing");
    *state_ = std::move(normalized);
  }
  return std::get<Normalized>(*state_);
}

void ErrorValue::raise() && {
  if (!state_) return;
  Normalized& normalized = normalize();
  PyErr_Restore(normalized.type.release(), normalized.value.release(),
                normalized.traceback.release());
}

bool ErrorValue::is_exactly(PyObject* type) {
  if (!state_) {
    PyObject* pending_type = PyErr_Occurred();  // borrowed
    if (pending_type == nullptr || PyErr_GivenExceptionMatches(pending_type, type) == 0) {
      return false;
    }
    normalize();
  }
  if (auto* deferred = std::get_if<Deferred>(state_.get())) return deferred->type == type;
  return std::get<Normalized>(*state_).type.get() == type;
}

std::optional<ErrorValue> take_pending_error() {
  PyObject* pending_type = PyErr_Occurred();  // borrowed
  if (pending_type == nullptr) return std::nullopt;
  // Only an exception of the panic type (or a subclass) can be a panic
  // exception once normalised; everything else stays with the interpreter.
  if (!may_be_panic(pending_type)) return ErrorValue::pending();
  ErrorValue::Normalized fetched = fetch_normalized();
  if (!fetched.value) internal_failure("normalized exception value missing");
  if (Py_TYPE(fetched.value.get()) == reinterpret_cast<PyTypeObject*>(panic_exception_type())) {
    resume_panic(std::move(fetched));
  }
  return ErrorValue::normalized(std::move(fetched.type), std::move(fetched.value),
                                std::move(fetched.traceback));
}

ErrorValue fetch_pending_error() {
  if (auto error = take_pending_error()) return *std::move(error);
  return ErrorValue::nothing_set();
}

void discard_pending_error() {
  if (take_pending_error()) PyErr_Clear();
}

}  // namespace magnikit
