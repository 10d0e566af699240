#!/bin/sh
# Assembles the R package's source in OUT/tavrel and builds its tarball
# OUT/tavrel_<version>.tar.gz: the package files of r/, the library's sources
# (the .cpp files of add_library(tavrel_core ...) in CMakeLists.txt) with the
# internal headers under src/lib/src, the public headers and the generated
# version header under src/lib/include, the object list of src/Makevars.in,
# the version of the CMake project, and the demo data file.
#
#   r/tools/assemble.sh OUT        (R: the R program, default R)
set -eu

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${1:?usage: assemble.sh OUT}
R=${R:-R}
CMAKE_LISTS="$ROOT/CMakeLists.txt"

version=$(sed -n 's/^project(tavrel VERSION \([0-9][0-9.]*\).*/\1/p' "$CMAKE_LISTS")
[ -n "$version" ] || { echo "assemble.sh: no project(tavrel VERSION ...) in $CMAKE_LISTS" >&2; exit 1; }
# Comments out, then the words between "add_library(tavrel_core" and ")".
sources=$(sed 's/#.*//' "$CMAKE_LISTS" |
  awk '/add_library\(tavrel_core/ { on = 1; sub(/.*add_library\(tavrel_core/, "") }
       on { end = index($0, ")"); if (end) $0 = substr($0, 1, end - 1)
            for (i = 1; i <= NF; ++i) print $i
            if (end) on = 0 }' |
  grep '\.cpp$' || true)
[ -n "$sources" ] || { echo "assemble.sh: no sources in add_library(tavrel_core ...) of $CMAKE_LISTS" >&2; exit 1; }

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
stage="$OUT/tavrel"
rm -rf "$stage"
mkdir -p "$stage/src" "$stage/inst/extdata"
for item in NAMESPACE LICENSE configure cleanup R man data tests; do
  cp -R "$ROOT/r/$item" "$stage/"
done
sed "s/^Version: .*/Version: $version/" "$ROOT/r/DESCRIPTION" > "$stage/DESCRIPTION"
cp "$ROOT/examples/demo_data.txt" "$stage/inst/extdata/demo.txt"
cp "$ROOT/r/src/"*.cpp "$ROOT/r/src/"*.hpp "$stage/src/"

# The library: its sources, the internal headers beside them, the public headers.
lib="$stage/src/lib"
for source in $sources; do
  mkdir -p "$lib/$(dirname "$source")"
  cp "$ROOT/$source" "$lib/$source"
done
for header in $(cd "$ROOT" && find src -name '*.hpp' ! -path 'src/driver/*'); do
  mkdir -p "$lib/$(dirname "$header")"
  cp "$ROOT/$header" "$lib/$header"
done
mkdir -p "$lib/include/tavrel"
cp "$ROOT/include/tavrel/"*.hpp "$lib/include/tavrel/"
sed "s/@PROJECT_VERSION@/$version/" "$ROOT/include/tavrel/version.hpp.in" > "$lib/include/tavrel/version.hpp"

# The object list replaces the line of @OBJECTS@, one object a line, and
# the rules of the objects follow it.
objects=$(
  for glue in "$ROOT/r/src/"*.cpp; do basename "$glue" .cpp; done | sed 's/$/.o/'
  for source in $sources; do echo "lib/${source%.cpp}.o"; done
)
{
  sed '/@OBJECTS@/,$d' "$ROOT/r/src/Makevars.in"
  printf '%s\n' $objects | sed -e '1 s/^/OBJECTS = /' -e '2,$ s/^/  /' -e '$ !s/$/ \\/'
  sed '1,/@OBJECTS@/d' "$ROOT/r/src/Makevars.in"
  printf '\nall: $(SHLIB)\n\n'
  for object in $objects; do
    source=${object%.o}.cpp
    printf '%s: %s\n\t$(CXX) $(ALL_CPPFLAGS) $(ALL_CXXFLAGS) $(TAVREL_OPTIMIZE) -c %s -o %s\n' \
      "$object" "$source" "$source" "$object"
  done
} > "$stage/src/Makevars.in"

cd "$OUT"
rm -f "tavrel_$version.tar.gz"
"$R" CMD build --no-build-vignettes tavrel
echo "assemble.sh: $OUT/tavrel_$version.tar.gz"
