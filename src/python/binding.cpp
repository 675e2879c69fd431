// Argument binding, the binding TypeErrors and the scalar, text and pair conversions.
#include "python/binding.hpp"

#include "python/compat.hpp"
#include "python/errors.hpp"

#include <cstring>
#include <new>
#include <string>

namespace vendrel::python {
namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

const char* verb_for(Py_ssize_t given) noexcept { return given == 1 ? "was" : "were"; }

std::size_t parameter_index(const Signature& signature, PyObject* keyword) noexcept {
    if (!PyUnicode_Check(keyword)) return kNotFound;
    const auto parameters = signature.parameters();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        // Compares code points against the ASCII name; never raises and allocates nothing.
        if (PyUnicode_CompareWithASCIIString(keyword, parameters[i].name) == 0) return i;
    }
    return kNotFound;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(const Signature& signature, const std::array<PyObject*, kMaxParameters>& objects) {
    const auto parameters = signature.parameters();
    std::size_t missing_total = 0;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (objects[i] == nullptr && parameters[i].default_value.tag == Default::Tag::Required) ++missing_total;
    }
    std::string names;
    std::size_t listed = 0;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (objects[i] != nullptr || parameters[i].default_value.tag != Default::Tag::Required) continue;
        if (listed > 0) {
            if (missing_total > 2) names += ",";
            names += listed + 1 == missing_total ? " and " : " ";
        }
        names += '\'';
        names += parameters[i].name;
        names += '\'';
        ++listed;
    }
    return names;
}

PendingException raise_missing(const Signature& signature, const std::array<PyObject*, kMaxParameters>& objects,
                               std::size_t missing) noexcept {
    try {
        const std::string names = quoted_list(signature, objects);
        PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", signature.full_name(), missing,
                     missing == 1 ? "argument" : "arguments", names.c_str());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    }
    return {};
}

// Adds "while processing '{name}'" to the pending exception. A failure to add the note is
// dropped so that the original exception is what the caller sees.
void add_processing_note(const char* name) noexcept {
    PyObject* exception = compat::fetch_exception();
    if (exception == nullptr) return;
    if (PyObject* note = PyUnicode_FromFormat("while processing '%s'", name)) {
        if (PyObject* outcome = PyObject_CallMethod(exception, "add_note", "(O)", note)) {
            Py_DECREF(outcome);
        } else {
            PyErr_Clear();
        }
        Py_DECREF(note);
    } else {
        PyErr_Clear();
    }
    compat::restore_exception(exception);
}

template <class T>
Result<T, PendingException> noted(Result<T, PendingException> converted, const char* name) noexcept {
    if (!converted) add_processing_note(name);
    return converted;
}

Result<std::uint64_t, PendingException> to_unsigned_size(PyObject* object) noexcept {
    // The interpreter's own integer protocol and messages: TypeError for non-integers,
    // OverflowError for negative values and values above 2**64 - 1. bool is an int, so True is 1.
    PyObject* index = PyNumber_Index(object);
    if (index == nullptr) return fail(PendingException{});
    const unsigned long long value = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return fail(PendingException{});
    static_assert(sizeof(unsigned long long) == sizeof(std::uint64_t));
    return static_cast<std::uint64_t>(value);
}

Result<double, PendingException> to_float(PyObject* object) noexcept {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred() != nullptr) return fail(PendingException{});
    return value;
}

Result<std::string_view, PendingException> to_text(PyObject* object) noexcept {
    if (!PyUnicode_Check(object)) return fail(raise_not_an_instance(object, &PyUnicode_Type));
    Py_ssize_t size = 0;
    // Lone surrogates cannot be encoded: the interpreter's UnicodeEncodeError stays pending.
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) return fail(PendingException{});
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

Result<SizePair, PendingException> to_size_pair(PyObject* object) noexcept {
    if (!PyTuple_Check(object)) return fail(raise_not_an_instance(object, &PyTuple_Type));
    const Py_ssize_t length = PyTuple_GET_SIZE(object);
    if (length != 2) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd", length);
        return fail(PendingException{});
    }
    auto first = to_unsigned_size(PyTuple_GET_ITEM(object, 0));
    if (!first) return fail(first.error());
    auto second = to_unsigned_size(PyTuple_GET_ITEM(object, 1));
    if (!second) return fail(second.error());
    return SizePair{*first, *second};
}

PendingException raise_unfilled(const Parameter& parameter) noexcept {
    try {
        internal_failure(std::string("required parameter '") + parameter.name + "' was read unfilled");
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    }
    return {};
}

}  // namespace

PendingException raise_not_an_instance(PyObject* object, PyTypeObject* target) noexcept {
    PyObject* target_name = PyType_GetQualName(target);
    if (target_name == nullptr) return {};
    if (object == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%U'", target_name);
    } else if (PyObject* type_name = PyType_GetQualName(Py_TYPE(object))) {
        PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%U'", type_name, target_name);
        Py_DECREF(type_name);
    }
    Py_DECREF(target_name);
    return {};
}

Result<BoundArguments, PendingException> bind(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                                              PyObject* kwnames) noexcept {
    BoundArguments bound(signature);
    const auto parameters = signature.parameters();
    const auto maximum = static_cast<Py_ssize_t>(parameters.size());
    const Py_ssize_t positional = PyVectorcall_NARGS(nargs);

    if (positional > maximum) {
        if (signature.required_count() == parameters.size()) {
            PyErr_Format(PyExc_TypeError, "%s takes %zd positional arguments but %zd %s given", signature.full_name(),
                         maximum, positional, verb_for(positional));
        } else {
            PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zd positional arguments but %zd %s given",
                         signature.full_name(), signature.required_count(), maximum, positional,
                         verb_for(positional));
        }
        return fail(PendingException{});
    }
    for (Py_ssize_t i = 0; i < positional; ++i) bound.objects_[static_cast<std::size_t>(i)] = args[i];

    if (kwnames != nullptr) {
        const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < keywords; ++k) {
            PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
            const std::size_t index = parameter_index(signature, keyword);
            if (index == kNotFound) {
                PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", signature.full_name(),
                             keyword);
                return fail(PendingException{});
            }
            if (bound.objects_[index] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", signature.full_name(),
                             parameters[index].name);
                return fail(PendingException{});
            }
            bound.objects_[index] = args[positional + k];
        }
    }

    std::size_t missing = 0;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (bound.objects_[i] == nullptr && parameters[i].default_value.tag == Default::Tag::Required) ++missing;
    }
    if (missing != 0) return fail(raise_missing(signature, bound.objects_, missing));
    return bound;
}

Result<BoundArguments::Slot, PendingException> BoundArguments::take(const char* name, Kind kind) noexcept {
    const auto parameters = signature_->parameters();
    const bool expected = next_ < parameters.size() && std::strcmp(parameters[next_].name, name) == 0 &&
                          parameters[next_].kind == kind;
    if (!expected) {
        try {
            internal_failure(std::string(signature_->full_name()) + " read parameter '" + name +
                             "' out of declaration order or as the wrong kind");
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        }
        return fail(PendingException{});
    }
    const Slot slot{&parameters[next_], objects_[next_]};
    ++next_;
    return slot;
}

Result<std::uint64_t, PendingException> BoundArguments::unsigned_size(const char* name) noexcept {
    auto slot = take(name, Kind::UnsignedSize);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) {
        if (slot->parameter->default_value.tag != Default::Tag::Size) return fail(raise_unfilled(*slot->parameter));
        return slot->parameter->default_value.size;
    }
    return noted(to_unsigned_size(slot->object), name);
}

Result<std::optional<std::uint64_t>, PendingException> BoundArguments::optional_unsigned_size(
    const char* name) noexcept {
    auto slot = take(name, Kind::OptionalUnsignedSize);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) {
        const Default& fallback = slot->parameter->default_value;
        if (fallback.tag == Default::Tag::Size) return std::optional<std::uint64_t>(fallback.size);
        if (fallback.tag == Default::Tag::None) return std::optional<std::uint64_t>();
        return fail(raise_unfilled(*slot->parameter));
    }
    if (slot->object == Py_None) return std::optional<std::uint64_t>();
    auto value = noted(to_unsigned_size(slot->object), name);
    if (!value) return fail(value.error());
    return std::optional<std::uint64_t>(*value);
}

Result<double, PendingException> BoundArguments::real(const char* name) noexcept {
    auto slot = take(name, Kind::Float);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) {
        if (slot->parameter->default_value.tag != Default::Tag::Float) return fail(raise_unfilled(*slot->parameter));
        return slot->parameter->default_value.real;
    }
    return noted(to_float(slot->object), name);
}

Result<std::string_view, PendingException> BoundArguments::text(const char* name) noexcept {
    auto slot = take(name, Kind::Text);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) {
        if (slot->parameter->default_value.tag != Default::Tag::Text) return fail(raise_unfilled(*slot->parameter));
        return std::string_view(slot->parameter->default_value.text);
    }
    return noted(to_text(slot->object), name);
}

Result<std::optional<std::string_view>, PendingException> BoundArguments::optional_text(const char* name) noexcept {
    auto slot = take(name, Kind::OptionalText);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) {
        const Default& fallback = slot->parameter->default_value;
        if (fallback.tag == Default::Tag::Text) return std::optional<std::string_view>(fallback.text);
        if (fallback.tag == Default::Tag::None) return std::optional<std::string_view>();
        return fail(raise_unfilled(*slot->parameter));
    }
    if (slot->object == Py_None) return std::optional<std::string_view>();
    auto value = noted(to_text(slot->object), name);
    if (!value) return fail(value.error());
    return std::optional<std::string_view>(*value);
}

Result<std::optional<SizePair>, PendingException> BoundArguments::optional_size_pair(const char* name) noexcept {
    auto slot = take(name, Kind::OptionalSizePair);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) {
        if (slot->parameter->default_value.tag != Default::Tag::None) return fail(raise_unfilled(*slot->parameter));
        return std::optional<SizePair>();
    }
    if (slot->object == Py_None) return std::optional<SizePair>();
    auto value = noted(to_size_pair(slot->object), name);
    if (!value) return fail(value.error());
    return std::optional<SizePair>(*value);
}

Result<RealVectorView, PendingException> BoundArguments::real_vector(const char* name) noexcept {
    auto slot = take(name, Kind::RealVector);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) return fail(raise_unfilled(*slot->parameter));
    return noted(real_vector_view(slot->object), name);
}

Result<RealMatrixView, PendingException> BoundArguments::real_matrix(const char* name) noexcept {
    auto slot = take(name, Kind::RealMatrix);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) return fail(raise_unfilled(*slot->parameter));
    return noted(real_matrix_view(slot->object), name);
}

Result<ComplexVectorView, PendingException> BoundArguments::complex_vector(const char* name) noexcept {
    auto slot = take(name, Kind::ComplexVector);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) return fail(raise_unfilled(*slot->parameter));
    return noted(complex_vector_view(slot->object), name);
}

Result<ComplexMatrixView, PendingException> BoundArguments::complex_matrix(const char* name) noexcept {
    auto slot = take(name, Kind::ComplexMatrix);
    if (!slot) return fail(slot.error());
    if (slot->object == nullptr) return fail(raise_unfilled(*slot->parameter));
    return noted(complex_matrix_view(slot->object), name);
}

}  // namespace vendrel::python
