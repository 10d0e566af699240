#!/usr/bin/env python3
"""Compares two builds' speed: the stage cases, the whole runs through each
build's program and the kernel micro-benchmarks, each build's run alternating
with the other's (which goes first alternates too), so that a drift of the
machine's speed hits both alike.

    compare_base.py --new build --base build-base/build --base-name COMMIT
                    [--work DIR] [--runs 5] [--results bench/results.md]

Every stage row's ratio is the median of the runs' new/base ratios. A row of
50 ms or more in the base meets its target at a ratio of at most 1.05, a
shorter one at most 2 ms slower (median of the differences); every kernel at
a ratio of at most 1.05. The table is printed and replaces the section of
the same title in the results file. Exits 1 when a row misses its target.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

# The stage cases both builds' benchmark programs run with --case.
STAGES = [
    ("read", "reading, nitems given"),
    ("csv", "reading CSV"),
    ("L", "sequential 'L'"),
    ("M", "sequential 'M'"),
    ("B", "sequential 'B'"),
    ("G", "batch 'G'"),
    ("irp", "item reference profile"),
    ("rank", "latent ranks"),
    ("rmp", "rank membership profiles"),
    ("worp", "weighted observation ratios"),
    ("uorp", "unweighted observation ratios"),
    ("statistics", "statistics (computed)"),
    ("test", "test statistics"),
    ("item", "item statistics"),
    ("trp", "rank statistics"),
    ("examinee", "examinee statistics"),
    ("report", "report page"),
]

# The whole program on the stage benchmark's settings files: (file, threads, label).
WHOLE = [
    ("whole.settings", "1", "whole run 'G', five files, threads = 1"),
    ("whole9.settings", "1", "whole run 'G', nine files, threads = 1"),
    ("whole10.settings", "1", "whole run 'G', all files, threads = 1"),
    ("whole10.settings", "0", "whole run 'G', all files, every processor"),
]

TITLE = "## Against the base commit"


def stage_seconds(build, case, work):
    out = subprocess.run([os.path.join(build, "bench", "tavrel_bench_stages"), "--case", case, "--work", work],
                         check=True, capture_output=True, text=True).stdout
    return float(out.split()[0])


def whole_seconds(build, settings, threads, work):
    env = dict(os.environ)
    if threads == "0":
        env.pop("TAVREL_THREADS", None)
    else:
        env["TAVREL_THREADS"] = threads
    start = time.monotonic()
    subprocess.run([os.path.abspath(os.path.join(build, "tavrel")), settings], cwd=work, env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def kernel_seconds(build):
    out = subprocess.run([os.path.join(build, "bench", "tavrel_bench_kernels"), "--benchmark_min_time=0.2",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    return {b["name"]: b["real_time"] * scale[b["time_unit"]] for b in json.loads(out)["benchmarks"]}


def alternate(runs, measure):
    """measure(build_index) -> value; per run both builds, the first alternating."""
    values = ([], [])
    for run in range(runs):
        for which in ((0, 1) if run % 2 == 0 else (1, 0)):
            values[which].append(measure(which))
    return values


def row(label, new, base, kernel=False):
    """The table row of a case; met when its ratio, or for a short stage its
    difference, is within the target."""
    ratio = statistics.median(n / b for n, b in zip(new, base))
    difference = statistics.median(n - b for n, b in zip(new, base))
    long_row = kernel or statistics.median(base) >= 0.05
    met = ratio <= 1.05 if long_row else difference <= 0.002
    if kernel:
        values = "%.2f | %.2f | %.3f | %+.2f us" % (statistics.median(base) * 1e6, statistics.median(new) * 1e6,
                                                   ratio, difference * 1e6)
    else:
        values = "%.3f | %.3f | %.3f | %+.1f ms" % (statistics.median(base), statistics.median(new), ratio,
                                                   difference * 1e3)
    target = "<= 1.05" if long_row else "<= 2 ms slower"
    return met, "| %s | %s | %s | %s |" % (label, values, target, "yes" if met else "**no**")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--new", required=True, help="the new build folder")
    parser.add_argument("--base", required=True, help="the base build folder")
    parser.add_argument("--base-name", required=True, help="the base commit, as the table names it")
    parser.add_argument("--work", default="build/bench-work")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--results", default="bench/results.md")
    args = parser.parse_args()
    builds = (args.new, args.base)

    os.makedirs(args.work, exist_ok=True)
    print("Writing the data sets into %s ..." % args.work, file=sys.stderr)
    subprocess.run([os.path.join(args.new, "bench", "tavrel_bench_stages"), "--write-data", "--work", args.work],
                   check=True, stderr=subprocess.DEVNULL)

    lines = []
    missed = 0
    for case, label in STAGES:
        print("Running %s ..." % label, file=sys.stderr)
        new, base = alternate(args.runs, lambda w: stage_seconds(builds[w], case, args.work))
        met, text = row(label, new, base)
        missed += not met
        lines.append(text)
    for settings, threads, label in WHOLE:
        print("Running %s ..." % label, file=sys.stderr)
        new, base = alternate(args.runs, lambda w: whole_seconds(builds[w], settings, threads, args.work))
        met, text = row(label, new, base)
        missed += not met
        lines.append(text)

    print("Running the kernel micro-benchmarks ...", file=sys.stderr)
    new_runs, base_runs = alternate(args.runs, lambda w: kernel_seconds(builds[w]))
    kernel_lines = []
    for name in new_runs[0]:
        if not all(name in r for r in new_runs + base_runs):
            continue
        met, text = row(name, [r[name] for r in new_runs], [r[name] for r in base_runs], kernel=True)
        missed += not met
        kernel_lines.append(text)

    head = "| Case | Base | New | Ratio | Difference | Target | Met |\n|---|---:|---:|---:|---:|---|---|\n"
    section = (
        "%s\n\nBase: %s. Medians of %d runs of each build, alternating; the ratio is the median of the runs' "
        "new/base ratios.\n\nStages (seconds):\n\n%s%s\n\nKernel micro-benchmarks (microseconds per iteration):"
        "\n\n%s%s\n" % (TITLE, args.base_name, args.runs, head, "\n".join(lines), head, "\n".join(kernel_lines)))
    print(section)

    try:
        with open(args.results) as f:
            text = f.read()
    except FileNotFoundError:
        text = ""
    # Replace an earlier comparison, keep everything else.
    if TITLE in text:
        before, _, rest = text.partition(TITLE)
        after = rest.find("\n## ")
        text = before.rstrip("\n") + ("\n" + rest[after:] if after >= 0 else "")
    with open(args.results, "w") as f:
        f.write(text.rstrip("\n") + "\n\n" + section)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
