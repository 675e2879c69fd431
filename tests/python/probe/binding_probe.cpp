// Test-only extension `_vendrel_binding_probe`: real-shaped functions returning what the binding layer read.
#include "python/binding.hpp"
#include "python/errors.hpp"
#include "python/numpy_intake.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vendrel::python {
namespace {

using FastCall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept;

PyObject* size_object(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

PyObject* optional_size_object(std::optional<std::uint64_t> value) {
    return value ? size_object(*value) : Py_NewRef(Py_None);
}

PyObject* text_object(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
}

PyObject* optional_text_object(std::optional<std::string_view> text) {
    return text ? text_object(*text) : Py_NewRef(Py_None);
}

PyObject* optional_pair_object(std::optional<SizePair> pair) {
    if (!pair) return Py_NewRef(Py_None);
    return Py_BuildValue("(KK)", static_cast<unsigned long long>(pair->first),
                         static_cast<unsigned long long>(pair->second));
}

// Copies through the owned-copy helpers into a new array, so a test sees exactly what a real
// function would compute from.
template <ArgumentElement T>
PyObject* copied(const StridedVector<T>& view) {
    const std::vector<T> values = view.to_vector();
    return vector_array<T>(values);
}

template <ArgumentElement T>
PyObject* copied(const StridedMatrix<T>& view) {
    const std::vector<T> values = view.to_row_major();
    return matrix_array<T>(values, view.rows(), view.columns());
}

PyObject* element_object(double value) { return PyFloat_FromDouble(value); }
PyObject* element_object(Complex value) { return PyComplex_FromDoubles(value.re, value.im); }

// Element-by-element reads into a list, independent of the bulk copy helpers.
template <ArgumentElement T>
PyObject* element_list(const StridedVector<T>& view) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(view.size()));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < view.size(); ++i) {
        PyObject* item = element_object(view[i]);
        if (item == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

template <ArgumentElement T>
PyObject* element_list(const StridedMatrix<T>& view) {
    PyObject* rows = PyList_New(static_cast<Py_ssize_t>(view.rows()));
    if (rows == nullptr) return nullptr;
    for (std::size_t r = 0; r < view.rows(); ++r) {
        PyObject* row = PyList_New(static_cast<Py_ssize_t>(view.columns()));
        if (row == nullptr) {
            Py_DECREF(rows);
            return nullptr;
        }
        PyList_SET_ITEM(rows, static_cast<Py_ssize_t>(r), row);
        for (std::size_t c = 0; c < view.columns(); ++c) {
            PyObject* item = element_object(view(r, c));
            if (item == nullptr) {
                Py_DECREF(rows);
                return nullptr;
            }
            PyList_SET_ITEM(row, static_cast<Py_ssize_t>(c), item);
        }
    }
    return rows;
}

// Builds a tuple from makers that each return a new reference, called in order; the first one
// that fails (nullptr, exception pending) stops the construction.
template <class... Makers>
PyObject* tuple_of(Makers&&... makers) {
    PyObject* tuple = PyTuple_New(sizeof...(Makers));
    if (tuple == nullptr) return nullptr;
    Py_ssize_t index = 0;
    const bool complete = ([&] {
        PyObject* item = makers();
        if (item == nullptr) return false;
        PyTuple_SET_ITEM(tuple, index++, item);
        return true;
    }() && ...);
    if (!complete) {
        Py_DECREF(tuple);
        return nullptr;
    }
    return tuple;
}

constexpr Parameter kRowMajorSiteIdsParameters[] = {
    {"lx", Kind::UnsignedSize, required()},
    {"ly", Kind::UnsignedSize, required()},
};
constexpr Signature kRowMajorSiteIds{"row_major_site_ids()", kRowMajorSiteIdsParameters};

PyObject* row_major_site_ids(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kRowMajorSiteIds, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto lx = bound->unsigned_size("lx");
        if (!lx) return nullptr;
        auto ly = bound->unsigned_size("ly");
        if (!ly) return nullptr;
        return tuple_of([&] { return size_object(*lx); }, [&] { return size_object(*ly); });
    });
}

constexpr Parameter kResolveParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
};
constexpr Signature kResolve{"resolve_ising_interactions()", kResolveParameters};

PyObject* resolve_ising_interactions(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kResolve, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto couplings = bound->real_matrix("couplings");
        if (!couplings) return nullptr;
        return copied(*couplings);
    });
}

constexpr Parameter kBasisStatesParameters[] = {
    {"site_count", Kind::UnsignedSize, required()},
    {"weight", Kind::OptionalUnsignedSize, required()},
};
constexpr Signature kBasisStates{"basis_states()", kBasisStatesParameters};

PyObject* basis_states(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kBasisStates, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto site_count = bound->unsigned_size("site_count");
        if (!site_count) return nullptr;
        auto weight = bound->optional_unsigned_size("weight");
        if (!weight) return nullptr;
        return tuple_of([&] { return size_object(*site_count); }, [&] { return optional_size_object(*weight); });
    });
}

constexpr Parameter kTfimMatrixParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"fields", Kind::RealVector, required()},
    {"basis", Kind::OptionalText, none()},
};
constexpr Signature kTfimMatrix{"tfim_matrix()", kTfimMatrixParameters};

PyObject* tfim_matrix(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kTfimMatrix, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto couplings = bound->real_matrix("couplings");
        if (!couplings) return nullptr;
        auto fields = bound->real_vector("fields");
        if (!fields) return nullptr;
        auto basis = bound->optional_text("basis");
        if (!basis) return nullptr;
        return tuple_of([&] { return copied(*couplings); },
                        [&] { return copied(*fields); },
                        [&] { return optional_text_object(*basis); });
    });
}

constexpr Parameter kTfimObservablesParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"fields", Kind::RealVector, required()},
    {"state", Kind::ComplexVector, required()},
    {"basis", Kind::OptionalText, none()},
    {"axis", Kind::Text, text_default("z")},
    {"correlation", Kind::OptionalSizePair, none()},
};
constexpr Signature kTfimObservables{"tfim_observables()", kTfimObservablesParameters};

PyObject* tfim_observables(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kTfimObservables, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto couplings = bound->real_matrix("couplings");
        if (!couplings) return nullptr;
        auto fields = bound->real_vector("fields");
        if (!fields) return nullptr;
        auto state = bound->complex_vector("state");
        if (!state) return nullptr;
        auto basis = bound->optional_text("basis");
        if (!basis) return nullptr;
        auto axis = bound->text("axis");
        if (!axis) return nullptr;
        auto correlation = bound->optional_size_pair("correlation");
        if (!correlation) return nullptr;
        return tuple_of([&] { return copied(*couplings); },
                        [&] { return copied(*fields); },
                        [&] { return copied(*state); },
                        [&] { return optional_text_object(*basis); },
                        [&] { return text_object(*axis); },
                        [&] { return optional_pair_object(*correlation); });
    });
}

constexpr Parameter kRydbergMatrixParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"omega", Kind::RealVector, required()},
    {"detuning", Kind::RealVector, required()},
};
constexpr Signature kRydbergMatrix{"rydberg_matrix()", kRydbergMatrixParameters};

PyObject* rydberg_matrix(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kRydbergMatrix, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto couplings = bound->real_matrix("couplings");
        if (!couplings) return nullptr;
        auto omega = bound->real_vector("omega");
        if (!omega) return nullptr;
        auto detuning = bound->real_vector("detuning");
        if (!detuning) return nullptr;
        return tuple_of([&] { return copied(*couplings); },
                        [&] { return copied(*omega); },
                        [&] { return copied(*detuning); });
    });
}

constexpr Parameter kTdvpEstimateParameters[] = {
    {"weights", Kind::RealVector, required()},
    {"local_energies", Kind::ComplexVector, required()},
    {"derivatives", Kind::ComplexMatrix, required()},
    {"mode", Kind::Text, text_default("real_time")},
};
constexpr Signature kTdvpEstimate{"tdvp_estimate()", kTdvpEstimateParameters};

PyObject* tdvp_estimate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kTdvpEstimate, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto weights = bound->real_vector("weights");
        if (!weights) return nullptr;
        auto local_energies = bound->complex_vector("local_energies");
        if (!local_energies) return nullptr;
        auto derivatives = bound->complex_matrix("derivatives");
        if (!derivatives) return nullptr;
        auto mode = bound->text("mode");
        if (!mode) return nullptr;
        return tuple_of([&] { return copied(*weights); },
                        [&] { return copied(*local_energies); },
                        [&] { return copied(*derivatives); },
                        [&] { return text_object(*mode); });
    });
}

constexpr Parameter kTdvpSolveParameters[] = {
    {"qgt", Kind::RealMatrix, required()},
    {"rhs", Kind::RealVector, required()},
    {"shift", Kind::Float, float_default(1.0e-8)},
    {"tolerance", Kind::Float, float_default(1.0e-10)},
    {"max_iterations", Kind::UnsignedSize, size_default(256)},
};
constexpr Signature kTdvpSolve{"tdvp_solve()", kTdvpSolveParameters};

PyObject* tdvp_solve(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kTdvpSolve, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto qgt = bound->real_matrix("qgt");
        if (!qgt) return nullptr;
        auto rhs = bound->real_vector("rhs");
        if (!rhs) return nullptr;
        auto shift = bound->real("shift");
        if (!shift) return nullptr;
        auto tolerance = bound->real("tolerance");
        if (!tolerance) return nullptr;
        auto max_iterations = bound->unsigned_size("max_iterations");
        if (!max_iterations) return nullptr;
        return tuple_of([&] { return copied(*qgt); },
                        [&] { return copied(*rhs); },
                        [&] { return PyFloat_FromDouble(*shift); },
                        [&] { return PyFloat_FromDouble(*tolerance); },
                        [&] { return size_object(*max_iterations); });
    });
}

constexpr Parameter kReadElementsParameters[] = {
    {"real_matrix", Kind::RealMatrix, required()},
    {"real_vector", Kind::RealVector, required()},
    {"complex_matrix", Kind::ComplexMatrix, required()},
    {"complex_vector", Kind::ComplexVector, required()},
};
constexpr Signature kReadElements{"read_elements()", kReadElementsParameters};

// One parameter of each array kind, read element by element into nested lists.
PyObject* read_elements(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kReadElements, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto real_matrix = bound->real_matrix("real_matrix");
        if (!real_matrix) return nullptr;
        auto real_vector = bound->real_vector("real_vector");
        if (!real_vector) return nullptr;
        auto complex_matrix = bound->complex_matrix("complex_matrix");
        if (!complex_matrix) return nullptr;
        auto complex_vector = bound->complex_vector("complex_vector");
        if (!complex_vector) return nullptr;
        return tuple_of([&] { return element_list(*real_matrix); },
                        [&] { return element_list(*real_vector); },
                        [&] { return element_list(*complex_matrix); },
                        [&] { return element_list(*complex_vector); });
    });
}

// Element k of every result is k (uint8: k mod 256; complex128: k - k i).
template <class T>
T sample(std::size_t k) {
    if constexpr (std::same_as<T, Complex>) {
        return Complex{static_cast<double>(k), -static_cast<double>(k)};
    } else {
        return static_cast<T>(k);
    }
}

template <MatrixElement T>
PyObject* sample_matrix(std::size_t rows, std::size_t columns, bool in_place) {
    if (in_place) {
        auto fresh = allocate_matrix<T>(rows, columns);
        if (!fresh) return nullptr;
        const std::size_t count = rows == 0 ? 0 : rows * columns;
        for (std::size_t k = 0; k < count; ++k) fresh->data[k] = sample<T>(k);
        return fresh->array;
    }
    std::vector<T> values(rows * columns);
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = sample<T>(k);
    return matrix_array<T>(values, rows, columns);
}

template <VectorElement T>
PyObject* sample_vector(std::size_t length, bool in_place) {
    if (in_place) {
        auto fresh = allocate_vector<T>(length);
        if (!fresh) return nullptr;
        for (std::size_t k = 0; k < length; ++k) fresh->data[k] = sample<T>(k);
        return fresh->array;
    }
    std::vector<T> values(length);
    for (std::size_t k = 0; k < length; ++k) values[k] = sample<T>(k);
    return vector_array<T>(values);
}

PyObject* unknown_choice(std::string_view what, std::string_view value) {
    const std::string message = "unknown " + std::string(what) + " " + std::string(value);
    PyErr_SetString(PyExc_ValueError, message.c_str());
    return nullptr;
}

constexpr Parameter kMakeMatrixParameters[] = {
    {"dtype", Kind::Text, required()},
    {"rows", Kind::UnsignedSize, required()},
    {"columns", Kind::UnsignedSize, required()},
    {"route", Kind::Text, text_default("copy")},
};
constexpr Signature kMakeMatrix{"make_matrix()", kMakeMatrixParameters};

// A result matrix built either by copying a row-major buffer ("copy") or in place ("in_place").
PyObject* make_matrix(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kMakeMatrix, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto dtype = bound->text("dtype");
        if (!dtype) return nullptr;
        auto rows = bound->unsigned_size("rows");
        if (!rows) return nullptr;
        auto columns = bound->unsigned_size("columns");
        if (!columns) return nullptr;
        auto route = bound->text("route");
        if (!route) return nullptr;
        if (*route != "copy" && *route != "in_place") return unknown_choice("route", *route);
        const bool in_place = *route == "in_place";
        if (*dtype == "uint32") return sample_matrix<std::uint32_t>(*rows, *columns, in_place);
        if (*dtype == "uint8") return sample_matrix<std::uint8_t>(*rows, *columns, in_place);
        if (*dtype == "float64") return sample_matrix<double>(*rows, *columns, in_place);
        if (*dtype == "complex128") return sample_matrix<Complex>(*rows, *columns, in_place);
        return unknown_choice("dtype", *dtype);
    });
}

constexpr Parameter kMakeVectorParameters[] = {
    {"dtype", Kind::Text, required()},
    {"length", Kind::UnsignedSize, required()},
    {"route", Kind::Text, text_default("copy")},
};
constexpr Signature kMakeVector{"make_vector()", kMakeVectorParameters};

PyObject* make_vector(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kMakeVector, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto dtype = bound->text("dtype");
        if (!dtype) return nullptr;
        auto length = bound->unsigned_size("length");
        if (!length) return nullptr;
        auto route = bound->text("route");
        if (!route) return nullptr;
        if (*route != "copy" && *route != "in_place") return unknown_choice("route", *route);
        const bool in_place = *route == "in_place";
        if (*dtype == "float64") return sample_vector<double>(*length, in_place);
        if (*dtype == "complex128") return sample_vector<Complex>(*length, in_place);
        return unknown_choice("dtype", *dtype);
    });
}

constexpr Parameter kMisreadParameters[] = {
    {"count", Kind::UnsignedSize, required()},
    {"label", Kind::Text, text_default("x")},
};
constexpr Signature kMisread{"misread()", kMisreadParameters};

// Reads its parameters in the wrong order: the binding layer must report a programming error,
// not hand back a value for the wrong parameter.
PyObject* misread(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kMisread, args, nargs, kwnames);
        if (!bound) return nullptr;
        auto label = bound->text("label");
        if (!label) return nullptr;
        return text_object(*label);
    });
}

constexpr Signature kNoParameters{"no_parameters()"};

PyObject* no_parameters(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kNoParameters, args, nargs, kwnames);
        if (!bound) return nullptr;
        return Py_NewRef(Py_None);
    });
}

PyCFunction as_method(FastCall function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef g_methods[] = {
    {"row_major_site_ids", as_method(row_major_site_ids), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"resolve_ising_interactions", as_method(resolve_ising_interactions), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"basis_states", as_method(basis_states), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"tfim_matrix", as_method(tfim_matrix), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"tfim_observables", as_method(tfim_observables), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"rydberg_matrix", as_method(rydberg_matrix), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"tdvp_estimate", as_method(tdvp_estimate), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"tdvp_solve", as_method(tdvp_solve), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"read_elements", as_method(read_elements), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"make_matrix", as_method(make_matrix), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"make_vector", as_method(make_vector), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"misread", as_method(misread), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"no_parameters", as_method(no_parameters), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int exec_probe(PyObject* module) noexcept { return PyModule_AddFunctions(module, g_methods); }

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_probe)},
    {0, nullptr},
};

PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT,
    "_vendrel_binding_probe",
    "Test-only functions that return what the vendrel_quantum binding layer reads.",
    0,
    nullptr,
    g_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace vendrel::python

PyMODINIT_FUNC PyInit__vendrel_binding_probe() { return PyModuleDef_Init(&vendrel::python::g_definition); }
