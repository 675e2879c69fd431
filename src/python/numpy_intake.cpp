// NumPy C API acquisition, acceptance of array arguments and creation of result arrays.
#include "python/numpy_intake.hpp"

#include "python/memory_budget.hpp"

#include "python/binding.hpp"
#include "python/errors.hpp"

// This file owns the NumPy C API table: it is the one translation unit that includes the NumPy
// headers without NO_IMPORT_ARRAY.
#define PY_ARRAY_UNIQUE_SYMBOL vendrel_numpy_api
#include <numpy/arrayobject.h>

#include <limits>

namespace vendrel::python {
namespace {

// Guarded by the interpreter lock. Two threads may both run the import while one of them waits
// for the import lock; both then store the same table, which is harmless.
bool g_numpy_acquired = false;

template <class T>
constexpr int type_number() noexcept {
    if constexpr (std::same_as<T, double>) {
        return NPY_FLOAT64;
    } else if constexpr (std::same_as<T, Complex>) {
        return NPY_COMPLEX128;
    } else if constexpr (std::same_as<T, std::uint32_t>) {
        return NPY_UINT32;
    } else {
        static_assert(std::same_as<T, std::uint8_t>);
        return NPY_UINT8;
    }
}

// The array argument if `object` is an ndarray (or subclass instance) with `dimensions`
// dimensions and a dtype equivalent to the native T; otherwise the not-an-instance TypeError.
template <ArgumentElement T>
Result<PyArrayObject*, PendingException> accepted_array(PyObject* object, int dimensions) noexcept {
    if (!acquire_numpy()) return fail(PendingException{});
    if (PyArray_Check(object)) {
        auto* array = reinterpret_cast<PyArrayObject*>(object);
        if (PyArray_NDIM(array) == dimensions) {
            PyArray_Descr* native = PyArray_DescrFromType(type_number<T>());
            if (native == nullptr) return fail(PendingException{});
            // Equivalence in NumPy's sense: same kind, size and byte order. Anything that would
            // need a cast (float32, integers, complex64, byte-swapped, object) is refused.
            const bool equivalent = PyArray_EquivTypes(PyArray_DESCR(array), native) != 0;
            Py_DECREF(native);
            if (equivalent && PyArray_ITEMSIZE(array) == static_cast<npy_intp>(sizeof(T))) return array;
        }
    }
    return fail(raise_not_an_instance(object, &PyArray_Type));
}

template <ArgumentElement T>
Result<StridedVector<T>, PendingException> vector_view(PyObject* object) noexcept {
    auto array = accepted_array<T>(object, 1);
    if (!array) return fail(array.error());
    return StridedVector<T>(static_cast<const std::byte*>(PyArray_DATA(*array)),
                            static_cast<std::size_t>(PyArray_DIM(*array, 0)), PyArray_STRIDE(*array, 0));
}

template <ArgumentElement T>
Result<StridedMatrix<T>, PendingException> matrix_view(PyObject* object) noexcept {
    auto array = accepted_array<T>(object, 2);
    if (!array) return fail(array.error());
    return StridedMatrix<T>(static_cast<const std::byte*>(PyArray_DATA(*array)),
                            static_cast<std::size_t>(PyArray_DIM(*array, 0)),
                            static_cast<std::size_t>(PyArray_DIM(*array, 1)), PyArray_STRIDE(*array, 0),
                            PyArray_STRIDE(*array, 1));
}

// A new C-contiguous array of T with the given shape. Shapes whose byte size cannot be addressed
// are refused with MemoryError up front, as NumPy does for sizes it cannot allocate.
template <class T>
Result<FreshArray<T>, PendingException> allocate(int dimensions, const std::size_t* shape, bool zeroed) noexcept {
    if (!acquire_numpy()) return fail(PendingException{});
    npy_intp dims[2] = {0, 0};
    std::size_t bytes = sizeof(T);
    constexpr auto kLimit = static_cast<std::size_t>(std::numeric_limits<npy_intp>::max());
    for (int d = 0; d < dimensions; ++d) {
        if (shape[d] != 0 && bytes > kLimit / shape[d]) {
            PyErr_NoMemory();
            return fail(PendingException{});
        }
        bytes *= shape[d];
        dims[d] = static_cast<npy_intp>(shape[d]);
    }
    if (!ensure_memory_for(bytes)) return fail(PendingException{});
    // Zeroed arrays come from calloc: pages a sparse fill never touches are never committed.
    PyObject* array = zeroed ? PyArray_ZEROS(dimensions, dims, type_number<T>(), 0)
                             : PyArray_SimpleNew(dimensions, dims, type_number<T>());
    if (array == nullptr) return fail(PendingException{});
    return FreshArray<T>{array, static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)))};
}

}  // namespace

Result<void, PendingException> acquire_numpy() noexcept {
    if (g_numpy_acquired) return {};
    // _import_array, unlike the import_array macros, leaves NumPy's own exception pending
    // instead of printing it and replacing it with a generic ImportError.
    if (_import_array() < 0) return fail(PendingException{});
    g_numpy_acquired = true;
    return {};
}

Result<RealVectorView, PendingException> real_vector_view(PyObject* object) noexcept {
    return vector_view<double>(object);
}

Result<RealMatrixView, PendingException> real_matrix_view(PyObject* object) noexcept {
    return matrix_view<double>(object);
}

Result<ComplexVectorView, PendingException> complex_vector_view(PyObject* object) noexcept {
    return vector_view<Complex>(object);
}

Result<ComplexMatrixView, PendingException> complex_matrix_view(PyObject* object) noexcept {
    return matrix_view<Complex>(object);
}

template <MatrixElement T>
Result<FreshArray<T>, PendingException> allocate_matrix(std::size_t rows, std::size_t columns, bool zeroed) noexcept {
    // A matrix without rows has no first row to take a length from: its shape is (0, 0).
    const std::size_t shape[2] = {rows, rows == 0 ? 0 : columns};
    return allocate<T>(2, shape, zeroed);
}

template <VectorElement T>
Result<FreshArray<T>, PendingException> allocate_vector(std::size_t length) noexcept {
    const std::size_t shape[1] = {length};
    return allocate<T>(1, shape, false);
}

template <MatrixElement T>
PyObject* matrix_array(std::span<const T> row_major, std::size_t rows, std::size_t columns) noexcept {
    const std::size_t stored_columns = rows == 0 ? 0 : columns;
    if (columns != 0 && rows > std::numeric_limits<std::size_t>::max() / columns) {
        return internal_failure("matrix result shape overflows the address space");
    }
    if (row_major.size() != rows * columns) {
        return internal_failure("matrix result data does not match its shape");
    }
    auto fresh = allocate_matrix<T>(rows, stored_columns);
    if (!fresh) return nullptr;
    if (!row_major.empty()) std::memcpy(fresh->data, row_major.data(), row_major.size_bytes());
    return fresh->array;
}

template <VectorElement T>
PyObject* vector_array(std::span<const T> values) noexcept {
    auto fresh = allocate_vector<T>(values.size());
    if (!fresh) return nullptr;
    if (!values.empty()) std::memcpy(fresh->data, values.data(), values.size_bytes());
    return fresh->array;
}

template Result<FreshArray<std::uint32_t>, PendingException> allocate_matrix<std::uint32_t>(std::size_t,
                                                                                            std::size_t, bool) noexcept;
template Result<FreshArray<std::uint8_t>, PendingException> allocate_matrix<std::uint8_t>(std::size_t,
                                                                                          std::size_t, bool) noexcept;
template Result<FreshArray<double>, PendingException> allocate_matrix<double>(std::size_t, std::size_t, bool) noexcept;
template Result<FreshArray<Complex>, PendingException> allocate_matrix<Complex>(std::size_t, std::size_t, bool) noexcept;
template Result<FreshArray<double>, PendingException> allocate_vector<double>(std::size_t) noexcept;
template Result<FreshArray<Complex>, PendingException> allocate_vector<Complex>(std::size_t) noexcept;
template PyObject* matrix_array<std::uint32_t>(std::span<const std::uint32_t>, std::size_t, std::size_t) noexcept;
template PyObject* matrix_array<std::uint8_t>(std::span<const std::uint8_t>, std::size_t, std::size_t) noexcept;
template PyObject* matrix_array<double>(std::span<const double>, std::size_t, std::size_t) noexcept;
template PyObject* matrix_array<Complex>(std::span<const Complex>, std::size_t, std::size_t) noexcept;
template PyObject* vector_array<double>(std::span<const double>) noexcept;
template PyObject* vector_array<Complex>(std::span<const Complex>) noexcept;

}  // namespace vendrel::python
