// The vendrel_quantum module: multi-phase initialisation and the ordered registration of its contents.
#include "python/compat.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"

namespace vendrel::python {
namespace {

constexpr const char kModuleName[] = "vendrel_quantum";
constexpr const char kVersion[] = VENDREL_VERSION;  // from the project() call of CMakeLists.txt

// Appends the name to __all__ (creating the list on first use) and then sets the attribute.
// Steals `value`; a nullptr value means its creation failed and an exception is pending.
int register_name(PyObject* module, const char* name, PyObject* value) {
    if (value == nullptr) return -1;
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            Py_DECREF(value);
            return -1;
        }
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            Py_DECREF(value);
            return -1;
        }
    }
    PyObject* text = PyUnicode_FromString(name);
    const int appended = text == nullptr ? -1 : PyList_Append(all, text);
    Py_XDECREF(text);
    Py_DECREF(all);
    if (appended < 0) {
        Py_DECREF(value);
        return -1;
    }
    const int set = PyObject_SetAttrString(module, name, value);
    Py_DECREF(value);
    return set;
}

PyObject* new_reference(PyObject* borrowed) {
    Py_XINCREF(borrowed);
    return borrowed;
}

int register_function(PyObject* module, PyMethodDef& definition) {
    PyObject* module_name = PyUnicode_FromString(kModuleName);
    if (module_name == nullptr) return -1;
    PyObject* function = PyCFunction_NewEx(&definition, module, module_name);
    Py_DECREF(module_name);
    return register_name(module, definition.ml_name, function);
}

int exec_module(PyObject* module) noexcept {
    if (register_name(module, "__version__", PyUnicode_FromString(kVersion)) < 0) return -1;
    if (register_name(module, "VendrelError", new_reference(vendrel_error_class())) < 0) return -1;
    if (register_name(module, "InputError", new_reference(input_error_class())) < 0) return -1;
    if (register_name(module, "NumericalError", new_reference(numerical_error_class())) < 0) return -1;
    PyMethodDef* functions[] = {
        &row_major_site_ids_definition,
        &resolve_ising_interactions_definition,
        &basis_states_definition,
        &tfim_matrix_definition,
        &tfim_ground_state_definition,
        &tfim_observables_definition,
        &heisenberg_matrix_definition,
        &rydberg_matrix_definition,
        &tdvp_estimate_definition,
        &tdvp_solve_definition,
    };
    for (PyMethodDef* definition : functions) {
        if (register_function(module, *definition) < 0) return -1;
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    kModuleName,
    "Initialize the `vendrel_quantum` Python module.",
    0,        // no per-module state
    nullptr,  // no static method table: the exec step adds every entry
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace vendrel::python

PyMODINIT_FUNC PyInit_vendrel_quantum(void) { return PyModuleDef_Init(&vendrel::python::module_definition); }
