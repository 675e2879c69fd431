// The result type every fallible operation returns: a value or an error enumeration value.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace vendrel {

/// The error side of a Result, as `fail(error)` makes it; converts into any Result whose error
/// type can be built from E.
template <class E>
struct Failure {
    E error;
};

template <class E>
[[nodiscard]] constexpr Failure<std::decay_t<E>> fail(E&& error) {
    return Failure<std::decay_t<E>>{std::forward<E>(error)};
}

/// A value or an error. A small expected-like type of our own (rather than std::expected) so that
/// every compiler the project meets, the fuzzing toolchain included, builds it; [[nodiscard]] so
/// that an ignored failure is a compile-time warning.
template <class T, class E>
class [[nodiscard]] Result {
public:
    template <class U = T>
        requires std::is_constructible_v<T, U&&> && (!std::is_same_v<std::remove_cvref_t<U>, Result>)
    constexpr Result(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}  // NOLINT: implicit
    template <class G>
        requires std::is_constructible_v<E, G&&>
    constexpr Result(Failure<G> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

    [[nodiscard]] constexpr bool has_value() const noexcept { return state_.index() == 0; }
    constexpr explicit operator bool() const noexcept { return has_value(); }

    constexpr T& operator*() & { return *std::get_if<0>(&state_); }
    constexpr const T& operator*() const& { return *std::get_if<0>(&state_); }
    constexpr T&& operator*() && { return std::move(*std::get_if<0>(&state_)); }
    constexpr T* operator->() { return std::get_if<0>(&state_); }
    constexpr const T* operator->() const { return std::get_if<0>(&state_); }
    /// The value; checked, unlike operator*.
    constexpr T& value() & { return std::get<0>(state_); }
    constexpr const T& value() const& { return std::get<0>(state_); }

    constexpr E& error() & { return *std::get_if<1>(&state_); }
    constexpr const E& error() const& { return *std::get_if<1>(&state_); }
    constexpr E&& error() && { return std::move(*std::get_if<1>(&state_)); }

private:
    std::variant<T, E> state_;
};

/// Success without a value, or an error.
template <class E>
class [[nodiscard]] Result<void, E> {
public:
    constexpr Result() = default;
    template <class G>
        requires std::is_constructible_v<E, G&&>
    constexpr Result(Failure<G> failure) : error_(std::move(failure.error)) {}  // NOLINT: implicit

    [[nodiscard]] constexpr bool has_value() const noexcept { return !error_.has_value(); }
    constexpr explicit operator bool() const noexcept { return has_value(); }

    constexpr E& error() & { return *error_; }
    constexpr const E& error() const& { return *error_; }
    constexpr E&& error() && { return std::move(*error_); }

private:
    std::optional<E> error_;
};

/// Helper for exhaustive std::visit over error variants: one lambda per alternative, no default.
template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace vendrel
