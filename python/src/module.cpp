// The extension module tavrel._core: the library's operations for the
// package, which checks every argument before it calls them.

#include <cstring>
#include <new>
#include <stdexcept>

#include "bindings.hpp"

namespace tavrel::python {
namespace {

// The library's failures as Python's exceptions.
void translateFailures(std::exception_ptr failure) {
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const FileError& e) {
        const py::object name = py::reinterpret_steal<py::object>(
            PyUnicode_DecodeFSDefaultAndSize(e.fileName.data(), static_cast<py::ssize_t>(e.fileName.size())));
        if (!name) throw py::error_already_set();
        const py::object error =
            e.error != 0 ? py::reinterpret_borrow<py::object>(PyExc_OSError)(e.error, std::strerror(e.error), name)
                         : py::reinterpret_borrow<py::object>(PyExc_OSError)(
                               "cannot open, read or write the file " + std::string(py::repr(name)));
        if (e.error == 0) error.attr("filename") = name;
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    } catch (const std::bad_alloc&) {
        PyErr_SetString(PyExc_MemoryError, "memory allocation failed: the data or n_ranks are too large");
    } catch (const std::length_error&) {
        PyErr_SetString(PyExc_MemoryError, "memory allocation failed: the data or n_ranks are too large");
    } catch (const EncodingFailure& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const FatalSetting& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const std::out_of_range& e) {
        PyErr_SetString(PyExc_ValueError, "an index is out of range; check the layout of the data");
    } catch (const Cancelled&) {
        PyErr_SetNone(PyExc_KeyboardInterrupt);
    }
}

}  // namespace
}  // namespace tavrel::python

PYBIND11_MODULE(_core, m) {
    using namespace tavrel::python;
    m.doc() = "The tavrel library's operations; use the tavrel package instead.";
    m.attr("__version__") = std::string(tavrel::kProgramVersion);
    py::register_exception_translator(&translateFailures);
    registerConversion(m);
    registerAnalysis(m);
    registerFiles(m);
}
