// Declarative function signatures, argument binding for fast-call entry points and typed readers.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "common/result.hpp"
#include "python/numpy_intake.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vendrel::python {

/// What a parameter accepts and what it is read as.
enum class Kind : std::uint8_t {
    UnsignedSize,          ///< int or __index__ object, read as unsigned 64-bit
    OptionalUnsignedSize,  ///< None or an unsigned size
    Float,                 ///< anything float() accepts, read as a 64-bit float
    Text,                  ///< str, read as UTF-8
    OptionalText,          ///< None or a text
    OptionalSizePair,      ///< None or a tuple of two unsigned sizes
    RealVector,            ///< 1-D float64 ndarray
    RealMatrix,            ///< 2-D float64 ndarray
    ComplexVector,         ///< 1-D complex128 ndarray
    ComplexMatrix,         ///< 2-D complex128 ndarray
};

/// What an unfilled parameter becomes.
struct Default {
    enum class Tag : std::uint8_t { Required, None, Text, Float, Size };
    Tag tag = Tag::Required;
    const char* text = nullptr;
    double real = 0.0;
    std::uint64_t size = 0;
};

/// The parameter must be given.
[[nodiscard]] consteval Default required() { return {}; }
/// Unfilled means absent (optional kinds only).
[[nodiscard]] consteval Default none() { return {.tag = Default::Tag::None}; }
/// Unfilled means this text (text kinds only).
[[nodiscard]] consteval Default text_default(const char* text) { return {.tag = Default::Tag::Text, .text = text}; }
/// Unfilled means this float (float kind only).
[[nodiscard]] consteval Default float_default(double real) { return {.tag = Default::Tag::Float, .real = real}; }
/// Unfilled means this size (unsigned size kinds only).
[[nodiscard]] consteval Default size_default(std::uint64_t size) { return {.tag = Default::Tag::Size, .size = size}; }

/// One positional-or-keyword parameter.
struct Parameter {
    const char* name;
    Kind kind;
    Default default_value;
};

/// The most parameters any function has; binding uses a fixed slot array of this size.
inline constexpr std::size_t kMaxParameters = 8;

namespace detail {
// Not constexpr: calling it during constant evaluation makes a malformed signature a compile error.
void malformed_signature(const char* reason);

constexpr bool accepts(Kind kind, Default::Tag tag) {
    using Tag = Default::Tag;
    if (tag == Tag::Required) return true;
    switch (kind) {
        case Kind::UnsignedSize: return tag == Tag::Size;
        case Kind::OptionalUnsignedSize: return tag == Tag::None || tag == Tag::Size;
        case Kind::Float: return tag == Tag::Float;
        case Kind::Text: return tag == Tag::Text;
        case Kind::OptionalText: return tag == Tag::None || tag == Tag::Text;
        case Kind::OptionalSizePair: return tag == Tag::None;
        case Kind::RealVector:
        case Kind::RealMatrix:
        case Kind::ComplexVector:
        case Kind::ComplexMatrix: return false;
    }
    return false;
}
}  // namespace detail

/// A function's full name (as it appears in messages, e.g. "tfim_matrix()") and its parameters
/// in declaration order. Built at compile time; a malformed table does not compile:
///
///     constexpr Parameter kParams[] = {{"couplings", Kind::RealMatrix, required()},
///                                      {"basis", Kind::OptionalText, none()}};
///     constexpr Signature kSignature{"heisenberg_matrix()", kParams};
class Signature {
public:
    template <std::size_t N>
    consteval Signature(const char* full_name, const Parameter (&parameters)[N])
        : full_name_(full_name), parameters_(parameters) {
        if (N > kMaxParameters) detail::malformed_signature("too many parameters");
        const std::string_view name(full_name);
        if (name.size() < 3 || !name.ends_with("()")) detail::malformed_signature("full name must end in ()");
        bool defaults_started = false;
        for (std::size_t i = 0; i < N; ++i) {
            const Parameter& parameter = parameters[i];
            if (std::string_view(parameter.name).empty()) detail::malformed_signature("empty parameter name");
            for (std::size_t j = 0; j < i; ++j) {
                if (std::string_view(parameters[j].name) == parameter.name) {
                    detail::malformed_signature("duplicate parameter name");
                }
            }
            if (!detail::accepts(parameter.kind, parameter.default_value.tag)) {
                detail::malformed_signature("default does not suit the parameter kind");
            }
            // Required parameters come first, so "takes from {required} to {max}" is meaningful.
            if (parameter.default_value.tag == Default::Tag::Required) {
                if (defaults_started) detail::malformed_signature("required parameter after a defaulted one");
                ++required_;
            } else {
                defaults_started = true;
            }
        }
    }

    /// A function without parameters.
    consteval explicit Signature(const char* full_name) : full_name_(full_name) {
        const std::string_view name(full_name);
        if (name.size() < 3 || !name.ends_with("()")) detail::malformed_signature("full name must end in ()");
    }

    [[nodiscard]] constexpr const char* full_name() const noexcept { return full_name_; }
    [[nodiscard]] constexpr std::span<const Parameter> parameters() const noexcept { return parameters_; }
    /// How many parameters have no default.
    [[nodiscard]] constexpr std::size_t required_count() const noexcept { return required_; }

private:
    const char* full_name_;
    std::span<const Parameter> parameters_{};
    std::size_t required_ = 0;
};

/// The two unsigned sizes of a pair parameter, in tuple order.
struct SizePair {
    std::uint64_t first;
    std::uint64_t second;
};

/// Sets TypeError "'{type}' object is not an instance of '{target}'" ({type} and {target} being
/// type __qualname__s), or "'None' is not an instance of '{target}'" when `object` is None.
PendingException raise_not_an_instance(PyObject* object, PyTypeObject* target) noexcept;

/// The arguments of one call, bound to the parameters of a signature. Holds borrowed references
/// only, valid for the duration of the call.
///
/// The readers are called once per parameter, in declaration order, each naming the parameter it
/// expects; a reader that does not match the next parameter's name and kind is a programming error
/// and raises the internal failure. An unfilled parameter yields its default. A conversion failure
/// keeps the interpreter's (or the binding layer's) exception and adds the note
/// "while processing '{name}'".
class BoundArguments {
public:
    [[nodiscard]] Result<std::uint64_t, PendingException> unsigned_size(const char* name) noexcept;
    [[nodiscard]] Result<std::optional<std::uint64_t>, PendingException> optional_unsigned_size(
        const char* name) noexcept;
    [[nodiscard]] Result<double, PendingException> real(const char* name) noexcept;
    /// The view stays valid for the call: it points into the argument's own UTF-8 cache.
    [[nodiscard]] Result<std::string_view, PendingException> text(const char* name) noexcept;
    [[nodiscard]] Result<std::optional<std::string_view>, PendingException> optional_text(const char* name) noexcept;
    [[nodiscard]] Result<std::optional<SizePair>, PendingException> optional_size_pair(const char* name) noexcept;
    [[nodiscard]] Result<RealVectorView, PendingException> real_vector(const char* name) noexcept;
    [[nodiscard]] Result<RealMatrixView, PendingException> real_matrix(const char* name) noexcept;
    [[nodiscard]] Result<ComplexVectorView, PendingException> complex_vector(const char* name) noexcept;
    [[nodiscard]] Result<ComplexMatrixView, PendingException> complex_matrix(const char* name) noexcept;

private:
    friend Result<BoundArguments, PendingException> bind(const Signature&, PyObject* const*, Py_ssize_t,
                                                         PyObject*) noexcept;

    struct Slot {
        const Parameter* parameter;
        PyObject* object;  // nullptr when the parameter was not given
    };

    explicit BoundArguments(const Signature& signature) noexcept : signature_(&signature) {}
    [[nodiscard]] Result<Slot, PendingException> take(const char* name, Kind kind) noexcept;

    const Signature* signature_;
    std::array<PyObject*, kMaxParameters> objects_{};
    std::size_t next_ = 0;
};

/// Binds the arguments of a METH_FASTCALL | METH_KEYWORDS call: positional arguments fill the
/// parameters from the first on, then keywords in the order given. Raises the binding TypeErrors
/// (too many positional arguments, multiple values, unexpected keyword, missing arguments).
/// Allocates nothing and creates no Python object unless it fails.
[[nodiscard]] Result<BoundArguments, PendingException> bind(const Signature& signature, PyObject* const* args,
                                                            Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace vendrel::python
