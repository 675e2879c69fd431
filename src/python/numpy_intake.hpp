// Read-only strided views of NumPy array arguments and the creation of new result arrays.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "common/complex.hpp"
#include "common/result.hpp"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

// Only numpy_intake.cpp includes the NumPy headers and holds the NumPy C API table; everything
// else reaches NumPy through the functions declared here.

namespace vendrel::python {

/// The error side of every interpreter-facing operation: a Python exception has been set and the
/// entry point must return nullptr to the interpreter.
struct PendingException {};

/// The native element types that arguments are read as: float64 and complex128.
template <class T>
concept ArgumentElement = std::same_as<T, double> || std::same_as<T, Complex>;

/// The element types of 2-D results: uint32, uint8, float64 and complex128.
template <class T>
concept MatrixElement = std::same_as<T, std::uint32_t> || std::same_as<T, std::uint8_t> ||
                        std::same_as<T, double> || std::same_as<T, Complex>;

/// The element types of 1-D results: float64 and complex128.
template <class T>
concept VectorElement = std::same_as<T, double> || std::same_as<T, Complex>;

static_assert(sizeof(Complex) == 2 * sizeof(double) && std::is_standard_layout_v<Complex> &&
                  std::is_trivially_copyable_v<Complex>,
              "Complex must have the complex128 layout: real part, then imaginary part");

/// Reads one element at an arbitrary byte address. Argument arrays may be unaligned or have
/// strides that are not multiples of the element size (field views of packed records), so every
/// element is copied out bytewise instead of being dereferenced in place.
template <ArgumentElement T>
[[nodiscard]] inline T load_element(const std::byte* address) noexcept {
    T value;
    std::memcpy(&value, address, sizeof(T));
    return value;
}

/// A read-only 1-D view over an argument array: any stride, including negative and zero.
/// Borrowed: valid while the argument object lives, which is the duration of the call.
template <ArgumentElement T>
class StridedVector {
public:
    constexpr StridedVector(const std::byte* first, std::size_t length, std::ptrdiff_t stride) noexcept
        : first_(first), length_(length), stride_(stride) {}

    [[nodiscard]] constexpr std::size_t size() const noexcept { return length_; }

    /// The element at logical position `index` (< size()).
    [[nodiscard]] T operator[](std::size_t index) const noexcept {
        return load_element<T>(first_ + static_cast<std::ptrdiff_t>(index) * stride_);
    }

    /// Copies the elements in logical order into target[0], ..., target[size() - 1].
    void copy_into(T* target) const noexcept {
        if (stride_ == static_cast<std::ptrdiff_t>(sizeof(T))) {
            if (length_ != 0) std::memcpy(target, first_, length_ * sizeof(T));
            return;
        }
        for (std::size_t i = 0; i < length_; ++i) target[i] = (*this)[i];
    }

    /// An owned copy in logical order.
    [[nodiscard]] std::vector<T> to_vector() const {
        std::vector<T> values(length_);
        copy_into(values.data());
        return values;
    }

private:
    const std::byte* first_;
    std::size_t length_;
    std::ptrdiff_t stride_;
};

/// A read-only 2-D view over an argument array: any row and column strides.
/// Borrowed: valid while the argument object lives, which is the duration of the call.
template <ArgumentElement T>
class StridedMatrix {
public:
    constexpr StridedMatrix(const std::byte* first, std::size_t rows, std::size_t columns,
                            std::ptrdiff_t row_stride, std::ptrdiff_t column_stride) noexcept
        : first_(first), rows_(rows), columns_(columns), row_stride_(row_stride), column_stride_(column_stride) {}

    [[nodiscard]] constexpr std::size_t rows() const noexcept { return rows_; }
    [[nodiscard]] constexpr std::size_t columns() const noexcept { return columns_; }

    /// The element in row `row` and column `column`.
    [[nodiscard]] T operator()(std::size_t row, std::size_t column) const noexcept {
        return load_element<T>(first_ + static_cast<std::ptrdiff_t>(row) * row_stride_ +
                               static_cast<std::ptrdiff_t>(column) * column_stride_);
    }

    /// Row `row` as a vector view.
    [[nodiscard]] StridedVector<T> row(std::size_t row) const noexcept {
        return StridedVector<T>(first_ + static_cast<std::ptrdiff_t>(row) * row_stride_, columns_, column_stride_);
    }

    /// The elements in place, row-major, when the array is C-contiguous and aligned for T;
    /// nothing otherwise (then copy with to_row_major).
    [[nodiscard]] std::optional<std::span<const T>> contiguous() const noexcept {
        const bool dense = column_stride_ == static_cast<std::ptrdiff_t>(sizeof(T)) &&
                           (rows_ <= 1 || row_stride_ == static_cast<std::ptrdiff_t>(columns_ * sizeof(T)));
        const bool aligned = reinterpret_cast<std::uintptr_t>(first_) % alignof(T) == 0;
        if (!dense || !aligned) return std::nullopt;
        return std::span<const T>(reinterpret_cast<const T*>(first_), rows_ * columns_);
    }

    /// An owned copy in row-major order: row by row, each row from column 0 up.
    [[nodiscard]] std::vector<T> to_row_major() const {
        std::vector<T> values(rows_ * columns_);
        for (std::size_t r = 0; r < rows_; ++r) row(r).copy_into(values.data() + r * columns_);
        return values;
    }

private:
    const std::byte* first_;
    std::size_t rows_;
    std::size_t columns_;
    std::ptrdiff_t row_stride_;
    std::ptrdiff_t column_stride_;
};

using RealVectorView = StridedVector<double>;
using ComplexVectorView = StridedVector<Complex>;
using RealMatrixView = StridedMatrix<double>;
using ComplexMatrixView = StridedMatrix<Complex>;

/// Acquires the NumPy C API on first use and keeps it for the life of the process. Importing the
/// extension does not import NumPy; the first array read or creation does. When NumPy cannot be
/// imported, its ImportError is left pending.
[[nodiscard]] Result<void, PendingException> acquire_numpy() noexcept;

/// Argument conversions for the array kinds. The object must be an instance of numpy.ndarray (or a
/// subclass) with exactly the stated number of dimensions and a dtype equivalent to native float64
/// or complex128; anything else raises TypeError "'{type}' object is not an instance of 'ndarray'".
/// No casting and no copying: the view reads the argument's own memory through its strides.
[[nodiscard]] Result<RealVectorView, PendingException> real_vector_view(PyObject* object) noexcept;
[[nodiscard]] Result<RealMatrixView, PendingException> real_matrix_view(PyObject* object) noexcept;
[[nodiscard]] Result<ComplexVectorView, PendingException> complex_vector_view(PyObject* object) noexcept;
[[nodiscard]] Result<ComplexMatrixView, PendingException> complex_matrix_view(PyObject* object) noexcept;

/// A new C-contiguous, writeable array and its element storage, to be filled in place before the
/// array is handed to Python. `array` is an owned reference.
template <class T>
struct FreshArray {
    PyObject* array;
    T* data;
};

/// A new (rows, columns) array of T; zero rows gives shape (0, 0), like every 2-D result.
/// Creation failure (NumPy's MemoryError, or MemoryError for a size beyond the address space) is
/// left pending.
template <MatrixElement T>
[[nodiscard]] Result<FreshArray<T>, PendingException> allocate_matrix(std::size_t rows, std::size_t columns,
                                                                      bool zeroed = false) noexcept;

/// A new 1-D array of T with `length` elements.
template <VectorElement T>
[[nodiscard]] Result<FreshArray<T>, PendingException> allocate_vector(std::size_t length) noexcept;

/// A new (rows, columns) array holding `row_major` (rows * columns values, row by row); zero rows
/// gives shape (0, 0). Returns a new reference, or nullptr with an exception pending.
template <MatrixElement T>
[[nodiscard]] PyObject* matrix_array(std::span<const T> row_major, std::size_t rows, std::size_t columns) noexcept;

/// A new 1-D array holding a copy of `values`. Returns a new reference, or nullptr with an
/// exception pending.
template <VectorElement T>
[[nodiscard]] PyObject* vector_array(std::span<const T> values) noexcept;

}  // namespace vendrel::python
