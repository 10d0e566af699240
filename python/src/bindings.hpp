#pragma once
// Shared by the parts of the extension module: the observer that shows the
// engine's messages in Python, the call of a library operation with the GIL
// released, and the registration of each part.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tavrel/tavrel.hpp"

namespace tavrel::python {

namespace py = pybind11;

// Shows messages and progress on sys.stderr (verbose) exactly as the console
// does, keeps the warnings for the package to raise as Python warnings, and
// stops the operation when a signal handler raised (Ctrl-C). Called by the
// library on the thread that called it, with the GIL released.
class PyObserver final : public Observer {
public:
    explicit PyObserver(bool verbose) : verbose_(verbose) {}

    void message(MessageKind kind, std::string_view text) override {
        if (kind == MessageKind::Warning) warnings_.emplace_back(text);
        if (!verbose_) return;
        std::string line(kind == MessageKind::Note ? "tavrel.exe: Note: " : "tavrel.exe: Warning: ");
        line.append(text);
        line += '\n';
        show(line);
    }

    void progress(std::string_view text) override {
        if (verbose_) show(std::string(text));
    }

    bool stopRequested() override {
        py::gil_scoped_acquire gil;
        if (pending_) return true;
        // Runs the Python signal handlers; only the main thread has any.
        if (PyErr_CheckSignals() != 0) pending_.emplace();  // takes the raised exception
        return pending_.has_value();
    }

    const std::vector<std::string>& warnings() const { return warnings_; }

    // With the GIL held, after the operation: the exception a signal handler
    // or sys.stderr raised meanwhile, if any.
    void raisePending() {
        if (pending_) {
            py::error_already_set error = std::move(*pending_);
            pending_.reset();
            throw error;
        }
    }

private:
    void show(const std::string& text) {
        py::gil_scoped_acquire gil;
        if (pending_) return;
        try {
            const py::object stream = py::module_::import("sys").attr("stderr");
            if (stream.is_none()) return;
            stream.attr("write")(text);
            stream.attr("flush")();
        } catch (py::error_already_set& error) {
            pending_.emplace(std::move(error));
        }
    }

    bool verbose_;
    std::vector<std::string> warnings_;
    std::optional<py::error_already_set> pending_;
};

// A file that could not be opened, read or written, with the errno of the
// failure (0 when unknown): raised in Python as OSError naming the file.
struct FileError {
    std::string fileName;
    int error;
};

// Runs `operation` (which returns a value) with the GIL released. A stop by the observer surfaces as
// the exception that caused it (KeyboardInterrupt after Ctrl-C); the warnings
// are appended to `warnings` whatever happens.
template <class Operation>
auto callEngine(PyObserver& observer, const py::list& warnings, Operation&& operation) {
    struct Flush {
        PyObserver& observer;
        const py::list& warnings;
        ~Flush() {
            for (const std::string& text : observer.warnings()) {
                const py::str item(text);
                if (PyList_Append(warnings.ptr(), item.ptr()) != 0) PyErr_Clear();
            }
        }
    } flush{observer, warnings};
    try {
        errno = 0;
        auto result = [&] {
            py::gil_scoped_release release;
            return operation();
        }();
        observer.raisePending();
        return result;
    } catch (const FileFailure& failure) {
        const int error = errno;
        throw FileError{failure.fileName(), error};
    } catch (const Cancelled&) {
        observer.raisePending();
        PyErr_SetNone(PyExc_KeyboardInterrupt);  // a stop always has a cause; this is its usual one
        throw py::error_already_set();
    }
}

void registerConversion(py::module_& m);
void registerAnalysis(py::module_& m);
void registerFiles(py::module_& m);

// The labels of the files: ids of their own length and item names, from the
// package's lists of str (None: absent).
struct OwnedLabels {
    ExamineeIds ids;
    std::vector<std::string> itemNames;

    OwnedLabels(const py::object& ids, const py::object& itemNames);
    Labels view() const { return Labels{ids, itemNames}; }
};

// A finished analysis as the package holds it.
struct Fit {
    Result result;
    std::vector<ParameterText> parameters;  // the options, as the report lists them
};

// A numpy array that takes over the vector (no copy); `shape` multiplies to its size.
template <class T>
py::array_t<T> adoptVector(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
    if (values.empty()) return py::array_t<T>(shape);
    auto* owned = new std::vector<T>(std::move(values));
    const py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(shape, owned->data(), owner);
}

}  // namespace tavrel::python
