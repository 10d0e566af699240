#!/usr/bin/env python3
"""Runs tavrel end to end on every bad-input case and checks its outcome.

  run.py TAVREL_BINARY [--sanitized] [CASE...]

A case is a folder holding the setting file (settings.txt), the input files
and `expect`. The run happens in a fresh copy of the folder. Lines of `expect`:

  exit N                   exit status
  tavrel.exe: ...          the Note/Warning/Error lines, all of them, in order
                           (\\xNN stands for a byte)
  arg NAME                 the argument instead of settings.txt
  make NAME = EXPR         writes the file NAME from a Python expression (a str,
                           taken byte for byte), for inputs too big to keep
  mkdir NAME               creates a directory
  file NAME LINES          a complete result file of LINES lines
  contains NAME TEXT       the result file NAME has the line TEXT
  absent NAME              no file NAME was written
  memory                   the run may end at the memory limit

Every run must also leave standard output empty, end by itself within the time
limit and raise no sanitizer report. Normal builds run under a 1 GiB address
space limit, so an impossible array fails at once instead of filling memory; a
sanitizer build refuses allocations above 1 GiB and then reports the memory
failure itself, which is accepted for `memory` cases only.
"""
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LIMIT = 1 << 30
TIMEOUT = 120
PREFIX = b"tavrel.exe: "
SANITIZER_OOM = re.compile(rb"AddressSanitizer: (out of memory|requested allocation size)")


def unescape(text):
    return re.sub(rb"\\x([0-9a-fA-F]{2})", lambda m: bytes([int(m.group(1), 16)]), text)


def parse(case):
    expected = {"exit": 0, "arg": "settings.txt", "lines": [], "make": [], "mkdir": [], "checks": [], "memory": False}
    with open(os.path.join(case, "expect"), "rb") as f:
        for raw in f.read().split(b"\n"):
            line = raw.rstrip(b"\r")
            if line.startswith(PREFIX):
                expected["lines"].append(unescape(line))
                continue
            word, _, rest = line.decode().partition(" ")
            if word == "" or word.startswith("#"):
                continue
            elif word == "exit":
                expected["exit"] = int(rest)
            elif word == "arg":
                expected["arg"] = rest
            elif word == "make":
                name, _, expr = rest.partition(" = ")
                expected["make"].append((name, eval(expr, {})))
            elif word == "mkdir":
                expected["mkdir"].append(rest)
            elif word in ("file", "contains", "absent"):
                expected["checks"].append((word, rest))
            elif word == "memory":
                expected["memory"] = True
            else:
                raise ValueError(f"{case}: unknown line {line!r}")
    return expected


def check_files(work, checks):
    problems = []
    for kind, rest in checks:
        name, _, arg = rest.partition(" ")
        path = os.path.join(work, name)
        if kind == "absent":
            if os.path.exists(path):
                problems.append(f"{name} was written")
            continue
        if not os.path.isfile(path):
            problems.append(f"{name} missing")
            continue
        with open(path, "rb") as f:
            data = f.read()
        lines = data.split(b"\n")[:-1]
        if kind == "file" and (data[-1:] not in (b"", b"\n") or len(lines) != int(arg)):
            problems.append(f"{name}: {len(lines)} lines, expected {arg} complete lines")
        if kind == "contains" and unescape(arg.encode()) not in lines:
            problems.append(f"{name} lacks the line {arg!r}")
    return problems


def run_case(binary, case, sanitized):
    expected = parse(case)
    work = tempfile.mkdtemp(prefix="tavrel_bad_")
    try:
        for name in os.listdir(case):
            if name != "expect":
                shutil.copy(os.path.join(case, name), work)
        for name, text in expected["make"]:
            with open(os.path.join(work, name), "wb") as f:
                f.write(text.encode("latin-1"))
        for name in expected["mkdir"]:
            os.mkdir(os.path.join(work, name))
        env = dict(os.environ)
        limit = None
        if sanitized:
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":max_allocation_size_mb=1024"
        else:
            limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (LIMIT, LIMIT))
        start = time.monotonic()
        try:
            proc = subprocess.run([binary, expected["arg"]], cwd=work, env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=TIMEOUT, preexec_fn=limit)
        except subprocess.TimeoutExpired:
            return [f"no end within {TIMEOUT} s"], "hang", 0.0
        seconds = time.monotonic() - start
        err = proc.stderr
        lines = [l for l in err.split(b"\n") if l.startswith(PREFIX)]
        problems = []
        if expected["memory"] and sanitized and SANITIZER_OOM.search(err):
            # The sanitizer's allocator ends the run before the program can:
            # what was printed up to there must still be right.
            outcome = "sanitizer memory limit"
            if lines != expected["lines"][:len(lines)]:
                problems.append(f"console lines {lines!r}, expected a start of {expected['lines']!r}")
            return problems, outcome, seconds
        outcome = f"exit {proc.returncode}"
        if proc.returncode < 0:
            problems.append(f"killed by signal {-proc.returncode}")
        elif proc.returncode != expected["exit"]:
            problems.append(f"exit status {proc.returncode}, expected {expected['exit']}")
        if proc.stdout:
            problems.append("standard output is not empty")
        if b"Sanitizer" in err or b"runtime error" in err:
            problems.append("sanitizer report:\n" + err.decode("latin-1")[-3000:])
        if lines != expected["lines"]:
            problems.append("console lines differ:\n  got      " + "\n           ".join(map(repr, lines)) +
                            "\n  expected " + "\n           ".join(map(repr, expected["lines"])))
        problems += check_files(work, expected["checks"])
        return problems, outcome, seconds
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    args = sys.argv[1:]
    sanitized = "--sanitized" in args
    args = [a for a in args if a != "--sanitized"]
    binary = os.path.abspath(args[0])
    names = args[1:] or sorted(n for n in os.listdir(HERE) if os.path.isfile(os.path.join(HERE, n, "expect")))
    failed = 0
    for name in names:
        problems, outcome, seconds = run_case(binary, os.path.join(HERE, name), sanitized)
        print(f"{'FAIL' if problems else 'ok  '} {name:<36} {outcome:<24} {seconds:6.2f} s")
        for p in problems:
            print("     " + p)
        failed += bool(problems)
    print(f"{len(names) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
