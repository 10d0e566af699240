#!/bin/sh
# The R package's tests, for ctest: assembles the source tarball in WORK,
# installs it into a library there (again only when its sources changed) and
# runs the testthat tests with TAVREL_BINARY set, so that the byte
# comparisons with the console program run. Exits 77 (skipped), naming the
# Debian packages to install, where R, Rcpp or testthat are missing.
#
#   r/tools/run-tests.sh BINARY WORK
set -eu

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BINARY=${1:?usage: run-tests.sh BINARY WORK}
WORK=${2:?usage: run-tests.sh BINARY WORK}
R=${R:-R}
RSCRIPT=${RSCRIPT:-Rscript}

missing=""
if ! command -v "$R" >/dev/null 2>&1 || ! command -v "$RSCRIPT" >/dev/null 2>&1; then
  missing="r-base-dev r-cran-rcpp r-cran-testthat"
else
  # r-base-dev brings the headers and the compilers R builds packages with.
  compiler=$("$R" CMD config CXX20 2>/dev/null | awk '{ print $1 }')
  include=$("$RSCRIPT" -e 'cat(R.home("include"))' 2>/dev/null)
  if [ -z "$compiler" ] || ! command -v "$compiler" >/dev/null 2>&1 || [ ! -f "$include/R.h" ]; then
    missing="r-base-dev"
  fi
  for package in Rcpp testthat; do
    if ! "$RSCRIPT" -e "if (!requireNamespace('$package', quietly = TRUE)) quit(status = 1)" >/dev/null 2>&1; then
      missing="$missing r-cran-$(echo "$package" | tr 'A-Z' 'a-z')"
    fi
  done
fi
if [ -n "$missing" ]; then
  echo "skipped: the R package's tests need the Debian packages:$(printf ' %s' $missing)"
  exit 77
fi

mkdir -p "$WORK/lib"
WORK=$(cd "$WORK" && pwd)
# Everything the tarball is made of.
stamp=$(cd "$ROOT" && find r src include CMakeLists.txt examples/demo_data.txt -type f ! -path 'src/driver/*' ! -path 'r/tests/*' |
  LC_ALL=C sort | xargs cat | cksum)
if [ ! -f "$WORK/lib/tavrel/DESCRIPTION" ] || [ "$(cat "$WORK/installed" 2>/dev/null)" != "$stamp" ]; then
  rm -f "$WORK/installed"
  if ! R="$R" "$ROOT/r/tools/assemble.sh" "$WORK" >"$WORK/assemble.log" 2>&1; then
    cat "$WORK/assemble.log"
    exit 1
  fi
  if ! MAKEFLAGS=-j2 "$R" CMD INSTALL --no-test-load -l "$WORK/lib" "$WORK"/tavrel_*.tar.gz >"$WORK/install.log" 2>&1; then
    tail -n 60 "$WORK/install.log"
    exit 1
  fi
  echo "$stamp" >"$WORK/installed"
fi

cd "$ROOT/r/tests"
TAVREL_BINARY="$BINARY" R_LIBS="$WORK/lib" "$RSCRIPT" -e '
  library(testthat)
  library(tavrel)
  test_dir("testthat", reporter = "summary", stop_on_failure = TRUE)
'
