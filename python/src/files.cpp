// The files: the result files and the report written from a fit, and the
// console program's readers of response data.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bindings.hpp"

namespace tavrel::python {

namespace {

// The UTF-8 bytes of a str; surrogate escapes (bytes that were not UTF-8
// when read) go back to their bytes.
std::string_view utf8(const py::handle text, py::object& keep) {
    if (!PyUnicode_Check(text.ptr())) throw std::invalid_argument("ids and item names must be str");
    keep = py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape"));
    if (!keep) throw py::error_already_set();
    return std::string_view(PyBytes_AS_STRING(keep.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(keep.ptr())));
}

py::object decoded(std::string_view text) {
    PyObject* object = PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "surrogateescape");
    if (object == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(object);
}

}  // namespace

OwnedLabels::OwnedLabels(const py::object& idList, const py::object& nameList) {
    py::object keep;
    if (!idList.is_none()) {
        ids = ExamineeIds::ownLength();
        for (const py::handle id : idList) ids.append(utf8(id, keep));
    }
    if (!nameList.is_none())
        for (const py::handle name : nameList) itemNames.emplace_back(utf8(name, keep));
}

namespace {

void checkLabels(const OwnedLabels& labels, const Result& result) {
    if (labels.ids.present() && labels.ids.size() != result.nexaminees)
        throw std::invalid_argument("one id per examinee is needed");
    if (!labels.itemNames.empty() && labels.itemNames.size() != result.nitems)
        throw std::invalid_argument("one name per item is needed");
}

ResultFileNames fileNames(const py::dict& names) {
    ResultFileNames files;
    const std::pair<const char*, std::optional<std::string>*> keys[] = {
        {"outfile", &files.outfile},   {"rankfile", &files.rankfile}, {"rmpfile", &files.rmpfile},
        {"worpfile", &files.worpfile}, {"uorpfile", &files.uorpfile}, {"testfile", &files.testfile},
        {"itemfile", &files.itemfile}, {"trpfile", &files.trpfile},   {"examineefile", &files.examineefile},
    };
    std::size_t used = 0;
    for (const auto& [key, name] : keys) {
        if (!names.contains(key)) continue;
        ++used;
        const py::object value = names[key];
        if (!value.is_none()) *name = value.cast<std::string>();
    }
    if (used != names.size()) throw std::invalid_argument("unknown result file key");
    return files;
}

int writeFiles(const Fit& fit, const py::dict& names, const py::object& ids, const py::object& itemNames,
               char delimiter, std::size_t threads, bool verbose, const py::list& warnings) {
    const ResultFileNames files = fileNames(names);
    const OwnedLabels labels(ids, itemNames);
    checkLabels(labels, fit.result);
    PyObserver observer(verbose);
    return callEngine(observer, warnings, [&] {
        writeResultFiles(files, fit.result, labels.view(), delimiter, threads, observer);
        return 0;
    });
}

// A row of the sweep file as sweep() gives it: 26 values, None for the NA of
// seed and converged.
SweepRow sweepRowOf(const py::handle item) {
    const auto t = item.cast<py::tuple>();
    if (t.size() != 26) throw std::invalid_argument("a row of a rank sweep holds 26 values");
    SweepRow row;
    row.nranks = t[0].cast<std::int32_t>();
    const std::optional<Method> method = methodFromWord(t[1].cast<std::string>());
    if (!method || row.nranks < 1) throw std::invalid_argument("a row of a rank sweep names its rank count and method");
    row.method = *method;
    row.seed = t[2].is_none() ? 0 : t[2].cast<std::int32_t>();
    row.passes = t[3].cast<std::int32_t>();
    row.converged = !t[4].is_none() && t[4].cast<bool>();
    row.loglikMarginal = t[5].cast<double>();
    FitIndices& f = row.fit;
    double* fields[] = {&f.loglikModel, &f.loglikBenchmark, &f.loglikNull, &f.chisqModel, &f.chisqNull, &f.dfModel,
                        &f.dfNull,      &f.NFI,             &f.RFI,        &f.IFI,        &f.TLI,       &f.CFI,
                        &f.RMSEA,       &f.AIC,             &f.CAIC,       &f.BIC};
    std::size_t at = 6;
    for (double* field : fields) *field = t[at++].cast<double>();
    row.weaklyOrdinal = t[22].cast<bool>();
    row.stronglyOrdinal = t[23].cast<bool>();
    row.smallestRankShare = t[24].cast<double>();
    row.rankScoreCorrelation = t[25].cast<double>();
    return row;
}

int writeReportPage(const Fit& fit, const std::string& path, const py::object& ids, const py::object& itemNames,
                    const std::string& dataName, const py::object& sweep, bool verbose, const py::list& warnings) {
    const OwnedLabels labels(ids, itemNames);
    checkLabels(labels, fit.result);
    std::vector<SweepRow> rows;
    if (!sweep.is_none())
        for (const py::handle row : sweep) rows.push_back(sweepRowOf(row));
    const ReportContext context{dataName, fit.parameters, rows};
    PyObserver observer(verbose);
    return callEngine(observer, warnings, [&] {
        writeReport(path, fit.result, labels.view(), context, observer);
        return 0;
    });
}

py::tuple readFile(const std::string& path, char delimiter, std::optional<std::int64_t> idbegin,
                   std::optional<std::int32_t> idlength, std::optional<std::int64_t> databegin,
                   std::optional<std::int32_t> nitems, std::optional<std::int64_t> firstobs,
                   std::optional<std::int64_t> nobs, std::optional<bool> header, std::optional<std::string> na,
                   const std::string& encoding, bool verbose, const py::list& warnings) {
    DataKeys keys;
    keys.infile = path;
    keys.delimiter = delimiter;
    keys.idbegin = idbegin;
    keys.idlength = idlength;
    keys.databegin = databegin;
    keys.nitems = nitems;
    keys.firstobs = firstobs;
    keys.nobs = nobs;
    keys.header = header;
    keys.na = std::move(na);
    const std::optional<TextEncoding> named = encodingNamed(encoding);
    if (!named) throw std::invalid_argument("unknown encoding \"" + encoding + "\"");
    keys.encoding = *named;
    PyObserver observer(verbose);
    ResponseData data = callEngine(observer, warnings, [&] {
        return readResponses(completeDataLayout(keys, observer), observer);
    });

    const auto N = static_cast<py::ssize_t>(data.nexaminees), J = static_cast<py::ssize_t>(data.nitems);
    py::array_t<std::uint8_t> codes({N, J});
    std::copy_n(data.responses.data(), static_cast<std::size_t>(N * J), reinterpret_cast<char*>(codes.mutable_data()));
    data.responses = std::string();
    // Bytes that are not UTF-8 are kept as surrogate escapes, as os.fsdecode keeps them.
    py::object ids = py::none();
    if (data.ids.present()) {
        py::list list;
        for (std::size_t i = 0; i < data.ids.size(); ++i) list.append(decoded(data.ids[i]));
        ids = std::move(list);
    }
    py::list names;
    for (const std::string& name : data.itemNames) names.append(decoded(name));
    return py::make_tuple(std::move(codes), ids, names);
}

}  // namespace

void registerFiles(py::module_& m) {
    m.def("write_results", &writeFiles, py::kw_only(), py::arg("fit"), py::arg("names"), py::arg("ids"),
          py::arg("item_names"), py::arg("delimiter"), py::arg("threads"), py::arg("verbose"), py::arg("warnings"),
          "Writes the result files named by their keys (None: not written).");
    m.def("write_report", &writeReportPage, py::kw_only(), py::arg("fit"), py::arg("path"), py::arg("ids"),
          py::arg("item_names"), py::arg("data_name"), py::arg("sweep"), py::arg("verbose"),
          py::arg("warnings"),
          "Writes the report page, with the fit's options as its run parameters and a rank sweep's rows (or None).");
    m.def("read_responses", &readFile, py::kw_only(), py::arg("path"), py::arg("delimiter"), py::arg("idbegin"),
          py::arg("idlength"), py::arg("databegin"), py::arg("nitems"), py::arg("firstobs"), py::arg("nobs"),
          py::arg("header"), py::arg("na"), py::arg("encoding"), py::arg("verbose"), py::arg("warnings"),
          "(codes N x J uint8, ids or None, item names) of a response data file; a key given as None is not given.");
    m.def("encoding_word", [](const std::string& word) -> py::object {
        if (const std::optional<TextEncoding> encoding = encodingNamed(word))
            return py::str(std::string(encodingWord(*encoding)));
        return py::none();
    }, py::arg("word"), "The canonical word of an encoding word, or None.");
}

}  // namespace tavrel::python
