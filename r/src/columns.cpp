// Numeric columns that R reads where the engine left the numbers: a column
// of a statistics table keeps the engine's vector, a membership column of the
// examinee table is a column of the memberships matrix. Neither is copied,
// which on a million examinees saves a second of filling fresh memory. A
// column of a matrix takes a copy of its own before it is written to (or its
// numbers are asked for in a writable form), so that the matrix stays as it
// is.
//
// An ALTREP class of doubles: data1 is list(owner, c(offset, length)), the
// owner an external pointer to a std::vector<double> or a double vector;
// data2 is NULL, or the column's own copy once written to.

#include "glue.hpp"

#include <R_ext/Altrep.h>

#include <cstring>
#include <memory>

namespace tavrel::r {
namespace {

R_altrep_class_t columnClass;

// The methods run inside R: they may raise R errors and throw nothing.
const double* viewed(SEXP x) {
    SEXP data = R_altrep_data1(x);
    SEXP owner = VECTOR_ELT(data, 0);
    const double* base = TYPEOF(owner) == EXTPTRSXP
                             ? static_cast<std::vector<double>*>(R_ExternalPtrAddr(owner))->data()
                             : REAL(owner);
    return base + static_cast<R_xlen_t>(REAL(VECTOR_ELT(data, 1))[0]);
}

R_xlen_t columnLength(SEXP x) { return static_cast<R_xlen_t>(REAL(VECTOR_ELT(R_altrep_data1(x), 1))[1]); }

void* columnData(SEXP x, Rboolean writeable) {
    SEXP own = R_altrep_data2(x);
    if (own != R_NilValue) return REAL(own);
    // The engine's vector is this column's alone; a matrix is not.
    if (!writeable || TYPEOF(VECTOR_ELT(R_altrep_data1(x), 0)) == EXTPTRSXP) return const_cast<double*>(viewed(x));
    const R_xlen_t n = columnLength(x);
    own = PROTECT(Rf_allocVector(REALSXP, n));
    if (n > 0) std::memcpy(REAL(own), viewed(x), std::size_t(n) * sizeof(double));
    R_set_altrep_data2(x, own);
    UNPROTECT(1);
    return REAL(own);
}

const void* columnDataOrNull(SEXP x) {
    SEXP own = R_altrep_data2(x);
    return own != R_NilValue ? REAL(own) : viewed(x);
}

double columnElement(SEXP x, R_xlen_t i) {
    SEXP own = R_altrep_data2(x);
    return own != R_NilValue ? REAL(own)[i] : viewed(x)[i];
}

Rboolean columnInspect(SEXP x, int, int, int, void (*)(SEXP, int, int, int)) {
    Rprintf(" tavrel column of %lld numbers%s\n", static_cast<long long>(columnLength(x)),
            R_altrep_data2(x) != R_NilValue ? ", copied" : "");
    return TRUE;
}

void deleteVector(SEXP pointer) {
    delete static_cast<std::vector<double>*>(R_ExternalPtrAddr(pointer));
    R_ClearExternalPtr(pointer);
}

// A column over `owner` (protected by the caller).
SEXP newColumn(SEXP owner, R_xlen_t offset, R_xlen_t length) {
    Protected p;
    SEXP data = p(allocate(VECSXP, 2));
    SET_VECTOR_ELT(data, 0, owner);
    SEXP range = allocate(REALSXP, 2);
    SET_VECTOR_ELT(data, 1, range);
    REAL(range)[0] = double(offset);
    REAL(range)[1] = double(length);
    return Rcpp::unwindProtect([&]() -> SEXP { return R_new_altrep(columnClass, data, R_NilValue); });
}

}  // namespace

SEXP wrapColumn(std::vector<double>&& values) {
    auto owned = std::make_unique<std::vector<double>>(std::move(values));
    const auto n = R_xlen_t(owned->size());
    Protected p;
    SEXP pointer = p(Rcpp::unwindProtect([&]() -> SEXP {
        return R_MakeExternalPtr(owned.get(), R_NilValue, R_NilValue);
    }));
    Rcpp::unwindProtect([&]() -> SEXP {
        R_RegisterCFinalizerEx(pointer, deleteVector, TRUE);
        return R_NilValue;
    });
    owned.release();  // the finalizer deletes it now
    return newColumn(pointer, 0, n);
}

SEXP viewColumn(SEXP matrix, R_xlen_t offset, R_xlen_t length) { return newColumn(matrix, offset, length); }

}  // namespace tavrel::r

// [[Rcpp::init]]
void tavrel_register_columns(DllInfo* dll) {
    using namespace tavrel::r;
    columnClass = R_make_altreal_class("tavrel_column", "tavrel", dll);
    R_set_altrep_Length_method(columnClass, columnLength);
    R_set_altrep_Inspect_method(columnClass, columnInspect);
    R_set_altvec_Dataptr_method(columnClass, columnData);
    R_set_altvec_Dataptr_or_null_method(columnClass, columnDataOrNull);
    R_set_altreal_Elt_method(columnClass, columnElement);
}
