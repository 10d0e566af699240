// Columns of a data frame or array into the response table: one byte per
// cell, '1' correct, '0' incorrect, '.' missing. The numeric columns are read
// in place, through their strides, with the GIL released; object columns are
// read with it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bindings.hpp"

namespace tavrel::python {
namespace {

constexpr char kMissing = '.';

// One column as the conversion reads it.
struct ColumnSource {
    char kind = 0;  // numpy's kind: 'b', 'i', 'u', 'f' or 'O'
    std::size_t itemsize = 0;
    const char* data = nullptr;
    std::ptrdiff_t stride = 0;
    const char* mask = nullptr;  // nullable columns: true where the value is missing
    std::ptrdiff_t maskStride = 0;
};

template <class T>
T load(const char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Fills out[i * J] for the rows [begin, end) of a numeric column; returns
// true when a present value is not an answer (the cell is then written
// missing). Masked cells are missing whatever value lies under the mask.
template <class T, bool Masked>
bool encodeRows(const ColumnSource& c, std::size_t begin, std::size_t end, char* out, std::size_t J) {
    const char* p = c.data + static_cast<std::ptrdiff_t>(begin) * c.stride;
    const char* m = Masked ? c.mask + static_cast<std::ptrdiff_t>(begin) * c.maskStride : nullptr;
    char* o = out + begin * J;
    // Branch-free: answers in random order would defeat the branch predictor.
    static_assert('0' == kMissing + 2 && '1' == kMissing + 3);
    unsigned invalid = 0;
    for (std::size_t i = begin; i < end; ++i, p += c.stride, o += J) {
        const T v = load<T>(p);
        unsigned one, zero, valid;
        if constexpr (std::is_same_v<T, bool>) {
            one = v;
            zero = !v;
            valid = 1;
        } else {
            one = v == T(1);
            zero = v == T(0);
            valid = one | zero;
            if constexpr (std::is_floating_point_v<T>) valid |= unsigned(v != v);  // NaN is missing
        }
        if constexpr (Masked) {
            const unsigned present = *m == 0;
            m += c.maskStride;
            one &= present;
            zero &= present;
            valid |= present ^ 1u;
        }
        invalid |= valid ^ 1u;
        *o = static_cast<char>(kMissing + 2 * zero + 3 * one);
    }
    return invalid != 0;
}

template <class T>
bool encodeRows(const ColumnSource& c, std::size_t begin, std::size_t end, char* out, std::size_t J) {
    return c.mask != nullptr ? encodeRows<T, true>(c, begin, end, out, J) : encodeRows<T, false>(c, begin, end, out, J);
}

bool encodeNumeric(const ColumnSource& c, std::size_t begin, std::size_t end, char* out, std::size_t J) {
    switch (c.kind) {
        case 'b': return encodeRows<bool>(c, begin, end, out, J);
        case 'i':
            switch (c.itemsize) {
                case 1: return encodeRows<std::int8_t>(c, begin, end, out, J);
                case 2: return encodeRows<std::int16_t>(c, begin, end, out, J);
                case 4: return encodeRows<std::int32_t>(c, begin, end, out, J);
                default: return encodeRows<std::int64_t>(c, begin, end, out, J);
            }
        case 'u':
            switch (c.itemsize) {
                case 1: return encodeRows<std::uint8_t>(c, begin, end, out, J);
                case 2: return encodeRows<std::uint16_t>(c, begin, end, out, J);
                case 4: return encodeRows<std::uint32_t>(c, begin, end, out, J);
                default: return encodeRows<std::uint64_t>(c, begin, end, out, J);
            }
        default:
            return c.itemsize == 4 ? encodeRows<float>(c, begin, end, out, J)
                                   : encodeRows<double>(c, begin, end, out, J);
    }
}

// Python objects of the kinds an object column may hold.
struct ObjectKinds {
    py::object missing;  // pandas.NA
    py::object numpyBool, numpyInteger, numpyFloating;
};

// The code of one object, or 0 when it is not an answer.
char encodeObject(PyObject* o, const ObjectKinds& kinds) {
    if (o == Py_None || o == kinds.missing.ptr()) return kMissing;
    if (PyBool_Check(o)) return o == Py_True ? '1' : '0';
    if (PyFloat_Check(o)) {
        const double v = PyFloat_AS_DOUBLE(o);
        return v == 1.0 ? '1' : v == 0.0 ? '0' : std::isnan(v) ? kMissing : 0;
    }
    if (PyLong_Check(o)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
        return overflow == 0 && v == 1 ? '1' : overflow == 0 && v == 0 ? '0' : 0;
    }
    const auto isInstance = [o](const py::object& type) { return PyObject_IsInstance(o, type.ptr()) == 1; };
    if (isInstance(kinds.numpyBool)) return PyObject_IsTrue(o) == 1 ? '1' : '0';
    if (isInstance(kinds.numpyInteger) || isInstance(kinds.numpyFloating)) {
        // Compared as numpy compares them, so that no width loses a digit.
        const auto equals = [o](long value) {
            const py::int_ other(value);
            const int equal = PyObject_RichCompareBool(o, other.ptr(), Py_EQ);
            if (equal < 0) PyErr_Clear();
            return equal == 1;
        };
        if (equals(1)) return '1';
        if (equals(0)) return '0';
        // NaN differs from itself (RichCompareBool would take identity for equality).
        const py::object differs = py::reinterpret_steal<py::object>(PyObject_RichCompare(o, o, Py_NE));
        const int nan = differs ? PyObject_IsTrue(differs.ptr()) : -1;
        if (nan < 0) PyErr_Clear();
        return nan == 1 ? kMissing : 0;
    }
    return 0;
}

struct BadCell {
    std::size_t row, column;
};

// The first cell of the rows [begin, end) in row-major order whose value is
// not an answer; object columns only with `kinds`.
std::optional<BadCell> firstBadCell(const std::vector<ColumnSource>& columns, std::size_t begin, std::size_t end,
                                    const ObjectKinds* kinds) {
    const std::size_t J = columns.size();
    for (std::size_t i = begin; i < end; ++i) {
        for (std::size_t j = 0; j < J; ++j) {
            const ColumnSource& c = columns[j];
            if (c.mask != nullptr && *(c.mask + static_cast<std::ptrdiff_t>(i) * c.maskStride) != 0) continue;
            if (c.kind == 'O') {
                if (kinds == nullptr) continue;
                PyObject* o = load<PyObject*>(c.data + static_cast<std::ptrdiff_t>(i) * c.stride);
                if (encodeObject(o, *kinds) == 0) return BadCell{i, j};
                continue;
            }
            ColumnSource row = c;  // the one cell, as a column of one row
            row.data += static_cast<std::ptrdiff_t>(i) * c.stride;
            if (row.mask != nullptr) row.mask += static_cast<std::ptrdiff_t>(i) * c.maskStride;
            char cell[1];
            if (encodeNumeric(row, 0, 1, cell, 1)) return BadCell{i, j};
        }
    }
    return std::nullopt;
}

// Rows per block: the block's values of every column (and its codes) stay in
// the first-level cache while the columns are read one after another, so
// that every cache line of a row-major table is loaded once.
std::size_t blockRows(const std::vector<ColumnSource>& columns) {
    constexpr std::size_t kBlockBytes = 24 * 1024;
    std::size_t rowBytes = 0;
    for (const ColumnSource& c : columns) rowBytes += c.itemsize + 1 + (c.mask != nullptr ? 1 : 0);
    return std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 8, 4096);
}

// A row-major table (a C-contiguous array, or a data frame built on one):
// every column of one numeric type without a mask, column j at j items past
// column 0, rows one table row apart.
bool isRowMajor(const std::vector<ColumnSource>& columns) {
    const ColumnSource& first = columns.front();
    if (first.kind == 'O' || first.mask != nullptr) return false;
    const auto J = static_cast<std::ptrdiff_t>(columns.size());
    const auto size = static_cast<std::ptrdiff_t>(first.itemsize);
    for (std::ptrdiff_t j = 0; j < J; ++j) {
        const ColumnSource& c = columns[static_cast<std::size_t>(j)];
        if (c.kind != first.kind || c.itemsize != first.itemsize || c.mask != nullptr || c.stride != J * size ||
            c.data != first.data + j * size)
            return false;
    }
    return true;
}

// The cells [begin, end) of a row-major table in one contiguous loop, which
// the compiler vectorizes; true when a value is not an answer.
template <class T>
bool encodeContiguous(const char* data, std::size_t begin, std::size_t end, char* out) {
    unsigned invalid = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const T v = load<T>(data + i * sizeof(T));
        unsigned one, zero, valid;
        if constexpr (std::is_same_v<T, bool>) {
            one = v;
            zero = !v;
            valid = 1;
        } else {
            one = v == T(1);
            zero = v == T(0);
            valid = one | zero;
            if constexpr (std::is_floating_point_v<T>) valid |= unsigned(v != v);
        }
        invalid |= valid ^ 1u;
        out[i] = static_cast<char>(kMissing + 2 * zero + 3 * one);
    }
    return invalid != 0;
}

bool encodeContiguous(const ColumnSource& c, std::size_t begin, std::size_t end, char* out) {
    switch (c.kind) {
        case 'b': return encodeContiguous<bool>(c.data, begin, end, out);
        case 'i':
            switch (c.itemsize) {
                case 1: return encodeContiguous<std::int8_t>(c.data, begin, end, out);
                case 2: return encodeContiguous<std::int16_t>(c.data, begin, end, out);
                case 4: return encodeContiguous<std::int32_t>(c.data, begin, end, out);
                default: return encodeContiguous<std::int64_t>(c.data, begin, end, out);
            }
        case 'u':
            switch (c.itemsize) {
                case 1: return encodeContiguous<std::uint8_t>(c.data, begin, end, out);
                case 2: return encodeContiguous<std::uint16_t>(c.data, begin, end, out);
                case 4: return encodeContiguous<std::uint32_t>(c.data, begin, end, out);
                default: return encodeContiguous<std::uint64_t>(c.data, begin, end, out);
            }
        default:
            return c.itemsize == 4 ? encodeContiguous<float>(c.data, begin, end, out)
                                   : encodeContiguous<double>(c.data, begin, end, out);
    }
}

// The numeric columns of the rows [begin, end); the first bad cell, if any.
std::optional<BadCell> encodeNumericRows(const std::vector<ColumnSource>& columns, std::size_t begin, std::size_t end,
                                         char* out) {
    const std::size_t J = columns.size();
    if (isRowMajor(columns)) {
        if (encodeContiguous(columns.front(), begin * J, end * J, out)) return firstBadCell(columns, begin, end, nullptr);
        return std::nullopt;
    }
    const std::size_t rows = blockRows(columns);
    for (std::size_t from = begin; from < end; from += rows) {
        const std::size_t to = std::min(end, from + rows);
        bool bad = false;
        for (std::size_t j = 0; j < J; ++j)
            if (columns[j].kind != 'O') bad |= encodeNumeric(columns[j], from, to, out + j, J);
        if (bad) return firstBadCell(columns, from, to, nullptr);
    }
    return std::nullopt;
}

ColumnSource sourceOf(const py::array& array, std::size_t nrows, std::size_t index) {
    if (array.ndim() != 1 || static_cast<std::size_t>(array.shape(0)) != nrows)
        throw std::invalid_argument("column " + std::to_string(index) + " does not have one value per row");
    const py::dtype dtype = array.dtype();
    ColumnSource c;
    c.kind = dtype.kind();
    c.itemsize = static_cast<std::size_t>(dtype.itemsize());
    const bool native = dtype.byteorder() != '>' || c.itemsize == 1;
    const bool known = (c.kind == 'b' && c.itemsize == 1) ||
                       ((c.kind == 'i' || c.kind == 'u') &&
                        (c.itemsize == 1 || c.itemsize == 2 || c.itemsize == 4 || c.itemsize == 8)) ||
                       (c.kind == 'f' && (c.itemsize == 4 || c.itemsize == 8)) ||
                       (c.kind == 'O' && c.itemsize == sizeof(PyObject*));
    if (!known || !native)
        throw std::invalid_argument("column " + std::to_string(index) + " has an unsupported dtype " +
                                    py::repr(dtype).cast<std::string>());
    c.data = static_cast<const char*>(array.data());
    c.stride = array.strides(0);
    return c;
}

// encode(columns, nrows, threads, missing) -> (codes, bad)
//
// columns: one entry per item, a 1-D array or a (values, mask) pair of 1-D
// arrays (mask: numpy bool, true where missing); numeric kinds b, i, u, f (4
// or 8 bytes) in native byte order, or objects. codes: an N x J uint8 array;
// bad: None, or the (row, column) of the first value in row-major order that
// is neither 1, 0, True, False nor missing (NaN, None, pandas.NA).
py::tuple encode(const py::list& columns, std::size_t nrows, std::size_t threads, const py::object& missing) {
    const std::size_t J = columns.size();
    std::vector<py::array> keep;  // holds the arrays while they are read
    std::vector<ColumnSource> sources;
    keep.reserve(2 * J);
    sources.reserve(J);
    bool anyObject = false;
    for (std::size_t j = 0; j < J; ++j) {
        const py::handle entry = columns[j];
        const bool nullable = py::isinstance<py::tuple>(entry);
        const auto pair = nullable ? entry.cast<py::tuple>() : py::make_tuple(entry);
        if (nullable && pair.size() != 2) throw std::invalid_argument("a nullable column is a (values, mask) pair");
        keep.push_back(pair[0].cast<py::array>());
        ColumnSource c = sourceOf(keep.back(), nrows, j);
        if (nullable) {
            keep.push_back(pair[1].cast<py::array>());
            const ColumnSource m = sourceOf(keep.back(), nrows, j);
            if (m.kind != 'b') throw std::invalid_argument("the mask of a nullable column must be boolean");
            c.mask = m.data;
            c.maskStride = m.stride;
        }
        anyObject |= c.kind == 'O';
        sources.push_back(c);
    }

    py::array_t<std::uint8_t> codes({nrows, J});
    char* out = reinterpret_cast<char*>(codes.mutable_data());
    std::optional<BadCell> bad;
    if (nrows > 0 && J > 0) {
        // The numeric columns first, in row bands on `threads` threads.
        py::gil_scoped_release release;
        const std::size_t cells = nrows * J;
        const std::size_t bands = std::clamp<std::size_t>(std::min(threads, cells / (1u << 20)), 1, 256);
        std::vector<std::optional<BadCell>> found(bands);
        const auto band = [&](std::size_t b) {
            const std::size_t begin = nrows * b / bands, end = nrows * (b + 1) / bands;
            found[b] = encodeNumericRows(sources, begin, end, out);
        };
        if (bands == 1) {
            band(0);
        } else {
            std::vector<std::thread> workers;
            for (std::size_t b = 1; b < bands; ++b) workers.emplace_back(band, b);
            band(0);
            for (std::thread& worker : workers) worker.join();
        }
        for (const auto& cell : found)
            if (cell) {
                bad = cell;
                break;
            }
    }
    if (anyObject && nrows > 0) {
        const py::module_ numpy = py::module_::import("numpy");
        const ObjectKinds kinds{missing, numpy.attr("bool_"), numpy.attr("integer"), numpy.attr("floating")};
        const std::size_t end = bad ? bad->row + 1 : nrows;
        for (std::size_t j = 0; j < J; ++j) {
            const ColumnSource& c = sources[j];
            if (c.kind != 'O') continue;
            for (std::size_t i = 0; i < end; ++i) {
                char& cell = out[i * J + j];
                if (c.mask != nullptr && *(c.mask + static_cast<std::ptrdiff_t>(i) * c.maskStride) != 0) {
                    cell = kMissing;
                    continue;
                }
                cell = encodeObject(load<PyObject*>(c.data + static_cast<std::ptrdiff_t>(i) * c.stride), kinds);
                if (cell == 0) {
                    // The first bad cell of the whole table may sit earlier in this row.
                    if (!bad || i < bad->row || (i == bad->row && j < bad->column)) bad = BadCell{i, j};
                    break;
                }
            }
        }
        if (bad) bad = firstBadCell(sources, bad->row, bad->row + 1, &kinds);
    }
    py::object where = py::none();
    if (bad) where = py::make_tuple(bad->row, bad->column);
    return py::make_tuple(std::move(codes), where);
}

// The floor of a conversion, for the benchmarks: every value of a
// C-contiguous float64 array read once in memory order, two bytes written
// for each (a code and a presence flag) into a new array, allocated as the
// conversion allocates its codes; no checks.
py::array_t<std::uint8_t> floorPass(const py::array_t<double>& values) {
    if (!(values.flags() & py::array::c_style)) throw std::invalid_argument("the values must be C-contiguous");
    const double* p = values.data();
    const std::size_t n = static_cast<std::size_t>(values.size());
    py::array_t<std::uint8_t> out(static_cast<py::ssize_t>(2 * n));
    std::uint8_t* o = out.mutable_data();
    py::gil_scoped_release release;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = p[i];
        o[2 * i] = static_cast<std::uint8_t>('0' + (v == 1.0));
        o[2 * i + 1] = static_cast<std::uint8_t>(v == v);
    }
    return out;
}

}  // namespace

void registerConversion(py::module_& m) {
    m.def("floor_pass", &floorPass, py::arg("values").noconvert(),
          "Benchmark floor: reads every value of a C-contiguous float64 array once, writes two bytes for each.");
    m.def("encode", &encode, py::arg("columns"), py::arg("nrows"), py::arg("threads"), py::arg("missing"),
          "The response codes of the columns and the first cell that is not an answer (row, column) or None.");
}

}  // namespace tavrel::python
