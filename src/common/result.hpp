// The result type every fallible operation returns: a value or an error enumeration value.
#pragma once

#include <expected>
#include <utility>

namespace vendrel {

/// A value or an error; [[nodiscard]] so that an ignored failure is a compile-time warning.
template <class T, class E>
class [[nodiscard]] Result : public std::expected<T, E> {
public:
    using std::expected<T, E>::expected;
};

template <class E>
[[nodiscard]] constexpr std::unexpected<E> fail(E error) {
    return std::unexpected<E>(std::move(error));
}

/// Helper for exhaustive std::visit over error variants: one lambda per alternative, no default.
template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace vendrel
