"""Ctrl-C stops a long fit on the main thread within a second."""

import os
import signal
import subprocess
import sys
import time

import pytest

CHILD = r"""
import sys, time
import numpy as np
import tavrel
X = (np.random.default_rng(1).random((20000, 40)) < 0.6).astype(float)
lra = tavrel.LatentRankAnalysis(10, sys.argv[1], max_iter=1000000, tol=0.0, random_state=1)
print("fitting", flush=True)
try:
    lra.fit(X)
except KeyboardInterrupt:
    print("interrupted", hasattr(lra, "profile_"), time.monotonic(), flush=True)
"""


@pytest.mark.skipif(not hasattr(signal, "SIGINT") or os.name != "posix", reason="needs POSIX signals")
@pytest.mark.parametrize("method", ["ml", "batch"])
def test_ctrl_c_stops_a_fit_within_a_second(method):
    child = subprocess.Popen(
        [sys.executable, "-c", CHILD, method], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True
    )
    try:
        assert child.stdout.readline() == "fitting\n"
        time.sleep(0.5)  # well into the estimation
        assert child.poll() is None
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=10)
    finally:
        child.kill()
    words = out.split()
    assert words[:2] == ["interrupted", "False"], err
    # From the signal to the exception in the child, on the clock both
    # processes share: the interpreter's exit afterwards does not count.
    assert float(words[2]) - sent < 1.0
