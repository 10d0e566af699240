"""Builds the extension module tavrel._core from the library's sources.

The library's source list and the project version are read from the
repository's CMakeLists.txt, so that the package and the console program are
built from one list; the version header that CMake configures is written
here the same way.
"""

import os
import re
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
os.chdir(HERE)  # setuptools takes the sources relative to this folder
CMAKE_LISTS = ROOT / "CMakeLists.txt"

# Results must be the same to the bit as the console program's: no fused
# multiply-add, no reassociation (never -ffast-math).
COMPILE_ARGS = [
    "-std=c++20",
    "-O3",
    "-g0",
    "-ffp-contract=off",
    "-fvisibility=hidden",
    "-Wall",
    "-Wextra",
    "-Wpedantic",
]


def _cmake_text():
    if not CMAKE_LISTS.is_file():
        sys.exit(f"{CMAKE_LISTS} not found: build the package from the tavrel source tree (pip install ./python)")
    # Comments out, so that a commented-out source is not compiled.
    return re.sub(r"#[^\n]*", "", CMAKE_LISTS.read_text(encoding="utf-8"))


def project_version(text):
    match = re.search(r"\bproject\s*\(\s*tavrel\b[^)]*?\bVERSION\s+([0-9][0-9.]*)", text)
    if not match:
        sys.exit(f"no project(tavrel VERSION ...) in {CMAKE_LISTS}")
    return match.group(1)


def library_sources(text):
    """The .cpp files of add_library(tavrel_core ...), ${VARIABLES} resolved from set()."""
    variables = {name: body.split() for name, body in re.findall(r"\bset\s*\(\s*(\w+)\s+([^)]*)\)", text)}

    def expand(words):
        for word in words:
            variable = re.fullmatch(r"\$\{(\w+)\}", word)
            if variable:
                yield from expand(variables.get(variable.group(1), []))
            else:
                yield word

    match = re.search(r"\badd_library\s*\(\s*tavrel_core\b([^)]*)\)", text)
    if not match:
        sys.exit(f"no add_library(tavrel_core ...) in {CMAKE_LISTS}")
    sources = [word for word in expand(match.group(1).split()) if word.endswith(".cpp")]
    missing = [s for s in sources if not (ROOT / s).is_file()]
    if not sources or missing:
        sys.exit(f"library sources not found in {ROOT}: {missing or 'none listed'}")
    # setuptools takes paths relative to this folder only.
    return [os.path.relpath(ROOT / s, HERE) for s in sources]


class BuildExt(build_ext):
    """Writes the version header, then compiles the sources on a few processes."""

    def build_extensions(self):
        generated = Path(self.build_temp).resolve() / "generated"
        header = generated / "tavrel" / "version.hpp"
        header.parent.mkdir(parents=True, exist_ok=True)
        template = (ROOT / "include" / "tavrel" / "version.hpp.in").read_text(encoding="utf-8")
        text = template.replace("@PROJECT_VERSION@", VERSION)
        if not header.is_file() or header.read_text(encoding="utf-8") != text:
            header.write_text(text, encoding="utf-8")
        for extension in self.extensions:
            extension.include_dirs.insert(0, str(generated))

        # distutils compiles one source after another; these are independent.
        compiler = self.compiler
        compile_one = compiler.compile
        jobs = max(1, min(int(os.environ.get("TAVREL_BUILD_JOBS", "0")) or (os.cpu_count() or 1), 8))

        def parallel_compile(sources, *args, **kwargs):
            with ThreadPoolExecutor(jobs) as pool:
                objects = pool.map(lambda source: compile_one([source], *args, **kwargs), sources)
                return [obj for group in objects for obj in group]

        compiler.compile = parallel_compile
        super().build_extensions()


def _pybind11_include():
    import pybind11

    return pybind11.get_include()


CMAKE = _cmake_text()
VERSION = project_version(CMAKE)

extension = Extension(
    "tavrel._core",
    sources=sorted(f"src/{p.name}" for p in (HERE / "src").glob("*.cpp")) + library_sources(CMAKE),
    include_dirs=["src", os.path.relpath(ROOT / "include", HERE), os.path.relpath(ROOT / "src", HERE), _pybind11_include()],
    extra_compile_args=COMPILE_ARGS,
    extra_link_args=["-pthread"],
    language="c++",
)

setup(version=VERSION, packages=["tavrel"], ext_modules=[extension], cmdclass={"build_ext": BuildExt})
