#include "glue.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <thread>

#include "common/processors.hpp"

namespace tavrel::r {

void RObserver::message(MessageKind kind, std::string_view text) {
    if (kind == MessageKind::Warning) warnings_.emplace_back(text);
    if (!verbose_) return;
    std::string line(kind == MessageKind::Note ? "tavrel.exe: Note: " : "tavrel.exe: Warning: ");
    line.append(text);
    line += '\n';
    REprintf("%s", line.c_str());
}

void RObserver::progress(std::string_view text) {
    if (verbose_) REprintf("%.*s", static_cast<int>(text.size()), text.data());
}

bool RObserver::stopRequested() {
    if (interrupted_) return true;
    try {
        Rcpp::checkUserInterrupt();
    } catch (const Rcpp::internal::InterruptedException&) {
        interrupted_ = true;
    }
    return interrupted_;
}

namespace {

std::string fileMessage(const FileFailure& failure, const char* verb, int error) {
    std::string text = std::string("cannot ") + verb + " the file \"" + failure.fileName() + "\"";
    if (error != 0) text += std::string(": ") + std::strerror(error);
    return text;
}

}  // namespace

SEXP guarded(RObserver& observer, const char* fileVerb, const std::function<SEXP()>& body) {
    SEXP value = R_NilValue;
    std::string error;
    bool interrupted = false;
    try {
        errno = 0;
        value = body();
    } catch (const Rcpp::LongjumpException&) {
        throw;  // an R error: Rcpp's wrapper resumes it
    } catch (const Cancelled&) {
        interrupted = true;
    } catch (const FileFailure& failure) {
        error = fileMessage(failure, fileVerb, errno);
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the analysis; use fewer examinees, items or ranks";
    } catch (const std::length_error&) {
        error = "not enough memory for the analysis; use fewer examinees, items or ranks";
    } catch (const EncodingFailure& failure) {
        error = "the file \"" + failure.fileName() +
                "\" is UTF-16, and fixed columns are read from single-byte text: read it as delimited data "
                "(dataformat \"csv\", \"tsv\" or \"semicolon\") or convert it to UTF-8";
    } catch (const FatalSetting& failure) {
        error = failure.what();
    } catch (const std::exception& failure) {
        error = failure.what();
    } catch (...) {
        error = "the engine failed for an unknown reason";
    }
    interrupted = interrupted || observer.interrupted();
    Protected p;
    p(value);
    const std::vector<std::string>& warnings = observer.warnings();
    std::vector<std::string_view> texts(warnings.begin(), warnings.end());
    SEXP out = p(allocate(VECSXP, 4));
    SET_VECTOR_ELT(out, 0, value);
    SET_VECTOR_ELT(out, 1, stringsOf(texts));
    if (!error.empty()) SET_VECTOR_ELT(out, 2, stringOf(error));
    SET_VECTOR_ELT(out, 3, allocate(LGLSXP, 1));
    LOGICAL(VECTOR_ELT(out, 3))[0] = interrupted;
    setNames(out, {"value", "warnings", "error", "interrupted"});
    return out;
}

SEXP allocate(SEXPTYPE type, R_xlen_t n) {
    struct Request {
        SEXPTYPE type;
        R_xlen_t n;
    } request{type, n};
    return Rcpp::unwindProtect(
        [](void* data) -> SEXP {
            const auto* r = static_cast<const Request*>(data);
            return Rf_allocVector(r->type, r->n);
        },
        &request);
}

namespace {

// UTF-8 when the bytes are UTF-8 (ASCII included), else marked as bytes so
// that they go back out unchanged.
cetype_t encodingOf(std::string_view text) {
    const std::size_t n = text.size();
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = byte(i);
        std::size_t more = 0;
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) low = 0xA0;   // no overlong forms
            if (c == 0xED) high = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
        } else {
            return CE_BYTES;
        }
        if (more > n - i - 1 || byte(i + 1) < low || byte(i + 1) > high) return CE_BYTES;
        for (std::size_t k = 2; k <= more; ++k)
            if ((byte(i + k) & 0xC0) != 0x80) return CE_BYTES;
        i += more + 1;
    }
    return CE_UTF8;
}

}  // namespace

SEXP stringsOf(const std::vector<std::string_view>& texts) {
    for (const std::string_view text : texts)
        if (text.size() > std::size_t(std::numeric_limits<int>::max()))
            throw std::invalid_argument("a text is longer than R's strings can be");
    Protected p;
    SEXP out = p(allocate(STRSXP, R_xlen_t(texts.size())));
    struct Fill {
        SEXP out;
        const std::vector<std::string_view>* texts;
    } fill{out, &texts};
    Rcpp::unwindProtect(
        [](void* data) -> SEXP {
            const auto* f = static_cast<const Fill*>(data);
            const std::vector<std::string_view>& t = *f->texts;
            for (std::size_t i = 0; i < t.size(); ++i)
                SET_STRING_ELT(f->out, R_xlen_t(i),
                               Rf_mkCharLenCE(t[i].data(), static_cast<int>(t[i].size()), encodingOf(t[i])));
            return R_NilValue;
        },
        &fill);
    return out;
}

SEXP stringOf(std::string_view text) { return stringsOf({text}); }

void setAttribute(SEXP x, SEXP name, SEXP value) {
    struct Set {
        SEXP x, name, value;
    } set{x, name, value};
    Rcpp::unwindProtect(
        [](void* data) -> SEXP {
            const auto* s = static_cast<const Set*>(data);
            Rf_setAttrib(s->x, s->name, s->value);
            return R_NilValue;
        },
        &set);
}

void setNames(SEXP x, const std::vector<std::string_view>& names) {
    Protected p;
    setAttribute(x, R_NamesSymbol, p(stringsOf(names)));
}

SEXP namedList(const std::vector<std::pair<std::string_view, SEXP>>& elements) {
    Protected p;
    SEXP out = p(allocate(VECSXP, R_xlen_t(elements.size())));
    std::vector<std::string_view> names;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        SET_VECTOR_ELT(out, R_xlen_t(i), elements[i].second);
        names.push_back(elements[i].first);
    }
    setNames(out, names);
    return out;
}

SEXP dataFrame(const std::vector<std::pair<std::string_view, SEXP>>& columns, R_xlen_t n, SEXP rowNames) {
    Protected p;
    SEXP out = p(namedList(columns));
    SEXP rows = rowNames;
    if (rows == R_NilValue) {
        // R's compact form of the automatic row names 1..n.
        rows = p(allocate(INTSXP, 2));
        INTEGER(rows)[0] = NA_INTEGER;
        INTEGER(rows)[1] = -static_cast<int>(n);
    }
    setAttribute(out, R_RowNamesSymbol, rows);
    setAttribute(out, R_ClassSymbol, p(stringOf("data.frame")));
    return out;
}

std::string_view textOf(SEXP strings, R_xlen_t i) {
    SEXP c = STRING_ELT(strings, i);
    const std::string_view bytes(CHAR(c), std::size_t(LENGTH(c)));
    const cetype_t encoding = Rf_getCharCE(c);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char b) { return (b & 0x80) == 0; });
    if (ascii || encoding == CE_UTF8 || encoding == CE_BYTES) return bytes;
    struct Translate {
        SEXP c;
        const char* text;
    } translate{c, nullptr};
    Rcpp::unwindProtect(
        [](void* data) -> SEXP {
            auto* t = static_cast<Translate*>(data);
            t->text = Rf_translateCharUTF8(t->c);
            return R_NilValue;
        },
        &translate);
    return translate.text;
}

void forRanges(std::size_t n, std::size_t threads, const std::function<void(std::size_t, std::size_t)>& body) {
    // A part of at least 64 Ki things: fewer are not worth a thread.
    const std::size_t wanted = threads == 0 ? availableProcessors() : threads;
    const std::size_t parts = std::clamp<std::size_t>(n / 65536, 1, std::min<std::size_t>(wanted, 64));
    std::vector<std::jthread> workers;
    for (std::size_t part = 1; part < parts; ++part) workers.emplace_back(body, n * part / parts, n * (part + 1) / parts);
    body(0, n / parts);
}

ExamineeIds idsOf(SEXP ids) {
    if (ids == R_NilValue) return ExamineeIds();
    if (TYPEOF(ids) != STRSXP) throw std::invalid_argument("the ids must be a character vector");
    ExamineeIds out = ExamineeIds::ownLength();
    const R_xlen_t n = XLENGTH(ids);
    for (R_xlen_t i = 0; i < n; ++i) out.append(textOf(ids, i));
    return out;
}

std::vector<std::string> namesOf(SEXP names) {
    std::vector<std::string> out;
    if (names == R_NilValue) return out;
    if (TYPEOF(names) != STRSXP) throw std::invalid_argument("the item names must be a character vector");
    const R_xlen_t n = XLENGTH(names);
    for (R_xlen_t j = 0; j < n; ++j) out.emplace_back(textOf(names, j));
    return out;
}

ResponseTable tableOf(SEXP codes, std::size_t nexaminees, std::size_t nitems) {
    if (TYPEOF(codes) != RAWSXP || std::size_t(XLENGTH(codes)) != nexaminees * nitems)
        throw std::invalid_argument("the codes must be a raw vector of N x J bytes");
    return {std::span<const char>(reinterpret_cast<const char*>(RAW(codes)), nexaminees * nitems), nitems,
            nexaminees};
}

}  // namespace tavrel::r

// Raises R's interrupt condition (what Ctrl-C raises), from a call of its
// own after the interrupted operation has returned.
// [[Rcpp::export(name = ".raise_interrupt")]]
void tavrel_raise_interrupt() { throw Rcpp::internal::InterruptedException(); }
