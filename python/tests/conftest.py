"""Shared data and the console program for the package's tests."""

import os
import subprocess
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

REPO = Path(__file__).resolve().parents[2]

RESULT_FILES = {
    "outfile": "irp.csv",
    "rankfile": "rank.csv",
    "rmpfile": "rmp.csv",
    "worpfile": "worp.csv",
    "uorpfile": "uorp.csv",
    "testfile": "test.csv",
    "itemfile": "item.csv",
    "trpfile": "trp.csv",
    "examineefile": "examinee.csv",
}

METHODS = ["ml", "bayes", "ls", "batch"]


def answers(N=150, J=8, seed=1, missing=0.05):
    """Simulated answers: float64 1.0/0.0 with NaN for a share of missing ones."""
    rng = np.random.default_rng(seed)
    ability = rng.normal(size=N)
    difficulty = np.linspace(-1.5, 1.5, J)
    p = 1 / (1 + np.exp(-1.7 * (ability[:, None] - difficulty[None, :])))
    X = (rng.random((N, J)) < p).astype(np.float64)
    X[rng.random((N, J)) < missing] = np.nan
    return X


def frame(X, ids=True):
    """X as a DataFrame with item names q1.. and (ids) examinee ids, one with a comma and quotes."""
    index = [f"S{i:04d}" for i in range(X.shape[0])] if ids else None
    df = pd.DataFrame(X, columns=[f"q{j + 1}" for j in range(X.shape[1])], index=index)
    if ids and len(df) > 3:
        df.index = df.index.where(df.index != "S0003", 'Smith, "J"')
    return df


@pytest.fixture(scope="session")
def binary():
    """The console program: TAVREL_BINARY, or build/tavrel in the source tree."""
    path = os.path.abspath(os.environ.get("TAVREL_BINARY") or REPO / "build" / "tavrel")
    if not os.access(path, os.X_OK):
        pytest.skip("the console program is not built (set TAVREL_BINARY)")
    return path


def write_fixed(path, X):
    """Fixed-column data without ids: one character per answer."""
    with open(path, "w") as f:
        for row in X:
            f.write("".join("." if np.isnan(v) else str(int(v)) for v in row) + "\n")


def run_console(binary, folder, settings):
    """Runs the console program on key = value settings in `folder`; returns its stderr."""
    text = "".join(f"{key} = {{{value}}};\n" for key, value in settings.items())
    (folder / "settings.txt").write_text(text)
    done = subprocess.run([binary, "settings.txt"], cwd=folder, capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stderr


def read_files(folder, names=RESULT_FILES.values()):
    return {name: (folder / name).read_bytes() for name in names}
