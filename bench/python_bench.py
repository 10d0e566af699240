"""The Python package's rows of `make bench`, beside the library's reference.

On the stage bench's whole-run data (1,000,000 x 100, 5 % missing; batch,
K = 10, 10 passes, as its whole.settings says; every processor), five interleaved runs, each in a fresh
process, of:

- the C++ reference: tavrel_bench_stages --case analyze, the library's
  analyze() on the table in memory asking for every result fit keeps
  (seconds; peak resident memory of its process);
- the package: a float64 DataFrame (NaN for missing) built from the same
  table, then a floor pass over its values (each read once, two bytes
  written), its conversion to the response table, and fit (seconds; the
  growth of resident memory from after the imports and the DataFrame to the
  peak of fit; the size of the fitted attributes).

Prints the medians with their targets and writes them as a section of the
results file (replacing an earlier one).

    python_bench.py --stages build/bench/tavrel_bench_stages --work build/bench-work \\
        --package build/python [--results bench/results.md] [--repeats 5]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

SECTION = "## Python package"


def rss_mb(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024.0
    raise RuntimeError(f"no {field} in /proc/self/status")


def attribute_mb(estimator):
    import numpy as np
    import pandas as pd

    total = 0
    for name, value in vars(estimator).items():
        if not name.endswith("_") or name.startswith("_"):
            continue
        if isinstance(value, (pd.DataFrame, pd.Series)):
            total += int(np.sum(value.memory_usage(index=True, deep=True)))
        elif isinstance(value, np.ndarray):
            total += value.nbytes
    return total / 2**20


def whole_run(work):
    """nitems, nranks and maxiter of the stage bench's whole run (its whole.settings)."""
    text = open(os.path.join(work, "whole.settings")).read()
    pairs = dict(p.split("=", 1) for p in text.replace("\n", ";").split(";") if "=" in p)
    pairs = {key.strip(): value.strip() for key, value in pairs.items()}
    return int(pairs["nitems"]), int(pairs["nranks"]), int(pairs["maxiter"])


def child(work):
    """One run of the package's rows; prints them as JSON."""
    import gc
    import warnings

    import numpy as np
    import pandas as pd

    import tavrel
    from tavrel import _core, _data

    nitems, nranks, maxiter = whole_run(work)
    messages = []
    codes, _, _ = _core.read_responses(
        path=os.fsencode(os.path.join(work, "whole.txt")), delimiter="\0", idbegin=1, idlength=None, databegin=None,
        nitems=nitems, firstobs=None, nobs=None, header=None, na=None, encoding="utf-8", verbose=False, warnings=messages,
    )
    N, J = codes.shape
    values = np.empty((N, J))
    for begin in range(0, N, 65536):
        block = codes[begin : begin + 65536]
        values[begin : begin + 65536] = np.where(block == ord("1"), 1.0, np.where(block == ord("0"), 0.0, np.nan))
    del codes, block
    X = pd.DataFrame(values, copy=False)
    gc.collect()

    start = time.perf_counter()
    floor = _core.floor_pass(values)
    floor_s = time.perf_counter() - start
    del floor
    start = time.perf_counter()
    table = _data.encode(X, threads=_data.available_processors())
    convert_s = time.perf_counter() - start
    del table
    gc.collect()

    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")  # the peak resident memory starts again from here
    base = rss_mb("VmRSS")
    estimator = tavrel.LatentRankAnalysis(nranks, "batch", max_iter=maxiter, tol=0.0, n_jobs=None)
    start = time.perf_counter()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tavrel.ConvergenceWarning)
        estimator.fit(X)
    fit_s = time.perf_counter() - start
    peak = rss_mb("VmHWM")
    print(json.dumps({"floor": floor_s, "convert": convert_s, "fit": fit_s, "growth": peak - base,
                      "attributes": attribute_mb(estimator), "examinees": N}))


def run(args, env=None):
    """Runs a child; its standard output and its peak resident memory in MB."""
    process = subprocess.Popen(args, stdout=subprocess.PIPE, env=env, text=True)
    out = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"{args[0]} failed with status {process.returncode}")
    return out, usage.ru_maxrss / 1024.0


def write_section(path, text):
    old = open(path).read() if os.path.exists(path) else ""
    if SECTION in old:
        old = old[: old.index(SECTION)].rstrip("\n") + "\n"
    with open(path, "w") as out:
        out.write(old + ("\n" if old else "") + text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stages", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--package", required=True, help="the folder that holds the built package")
    parser.add_argument("--results")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="the stage bench's --quick sizes (its data must be those)")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.work)
        return

    if not os.path.exists(os.path.join(args.package, "tavrel", "__init__.py")):
        print(f"Python package not built in {args.package}: its rows are skipped")
        return
    if not os.path.exists(os.path.join(args.work, "whole.txt")):
        sys.exit(f"{args.work}/whole.txt not found: run {args.stages} first (it writes the data)")
    env = dict(os.environ, PYTHONPATH=os.path.abspath(args.package))
    cpp, package = [], []
    for _ in range(args.repeats):
        out, peak = run([args.stages, "--case", "analyze", "--work", args.work] + (["--quick"] if args.quick else []))
        cpp.append({"seconds": float(out.split()[0]), "peak": peak})
        out, _ = run([sys.executable, os.path.abspath(__file__), "--child", "--work", args.work,
                      "--stages", args.stages, "--package", args.package], env)
        package.append(json.loads(out))

    def median(rows, key):
        return statistics.median(row[key] for row in rows)

    floor, convert, fit = median(package, "floor"), median(package, "convert"), median(package, "fit")
    growth, attributes = median(package, "growth"), median(package, "attributes")
    analyze, peak = median(cpp, "seconds"), median(cpp, "peak")
    fit_only = statistics.median(p["fit"] - p["convert"] for p in package)
    budget = (peak + attributes) * 1.05
    nitems, nranks, maxiter = whole_run(args.work)
    size = f"{package[0]['examinees']} x {nitems}"
    rows = [
        ("conversion, float64 DataFrame, 5 % NaN", size, f"{convert:.3f} s", f"floor {floor:.3f} s",
         f"{convert / floor:.2f}", "<= 0.5 s, <= 3 x floor", convert <= 0.5 and convert <= 3 * floor),
        ("fit minus conversion, batch", f"{size} x {nranks} x {maxiter}", f"{fit_only:.3f} s",
         f"analyze {analyze:.3f} s", f"{fit_only / analyze:.3f}", "<= 1.05 x analyze", fit_only <= 1.05 * analyze),
        ("peak memory of fit over the DataFrame's", f"{size} x {nranks} x {maxiter}", f"{growth:.1f} MB",
         f"analyze {peak:.1f} MB + attributes {attributes:.1f} MB", f"{growth / (peak + attributes):.3f}",
         "<= 1.05 x (analyze's peak + attributes)", growth <= budget),
    ]
    lines = [
        SECTION,
        "",
        f"Medians of {args.repeats} interleaved runs, each in a fresh process, at every processor "
        f"({os.cpu_count()}); batch estimation, fit {fit:.3f} s in all. The reference is the library's analyze() on the same "
        "table in memory asking for every result fit keeps (`tavrel_bench_stages --case analyze`); the floor "
        "reads every value once and writes two bytes for it, in the same process as the conversion.",
        "",
        "| Case | Size | Package | Reference | Ratio | Target | Met |",
        "|---|---|---:|---:|---:|---|---|",
    ]
    lines += [f"| {a} | {b} | {c} | {d} | {e} | {f} | {'yes' if g else 'NO'} |" for a, b, c, d, e, f, g in rows]
    text = "\n".join(lines) + "\n"
    print(text)
    if args.results:
        write_section(args.results, text)


if __name__ == "__main__":
    main()
