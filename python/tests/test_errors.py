"""Bad parameters and arguments raise TypeError or ValueError saying what to
change; files that cannot be written raise OSError naming them."""

import os

import numpy as np
import pandas as pd
import pytest

import tavrel
from conftest import answers, frame

X = answers(N=40, J=5, seed=8)
DF = frame(X)


@pytest.mark.parametrize(
    "params, error, match",
    [
        ({"n_ranks": 0}, ValueError, "n_ranks must be from 1 to 2147483647; it is 0"),
        ({"n_ranks": 2.0}, TypeError, "n_ranks must be an int, not float"),
        ({"n_ranks": True}, TypeError, "n_ranks must be an int, not bool"),
        ({"method": "gradient"}, ValueError, "method 'gradient' is unknown"),
        ({"method": None}, TypeError, "method must be a str"),
        ({"max_iter": -1}, ValueError, "max_iter must be from 0 to 2147483647; it is -1"),
        ({"random_state": 0}, ValueError, "random_state must be from 1 to 2147483647"),
        ({"random_state": 2**31}, ValueError, "random_state must be from 1 to 2147483647"),
        ({"random_state": np.random.RandomState(1)}, TypeError, "random_state must be None or an int"),
        ({"random_state": 1.0}, TypeError, "random_state must be None or an int"),
        ({"learning_rate": 0.5}, TypeError, "learning_rate must be a pair"),
        ({"learning_rate": (1.0, float("nan"))}, ValueError, r"learning_rate\[1\] must be finite"),
        ({"width": (1.0, -0.1)}, ValueError, r"width\[1\] must be 0.0 or more"),
        ({"tol": "small"}, TypeError, "tol must be a number"),
        ({"monotone": 1}, TypeError, "monotone must be True or False"),
        ({"prior": [0.5, 0.5]}, ValueError, "prior must hold n_ranks = 3 numbers; it holds 2"),
        ({"prior": [0.5, -0.1, 0.6]}, ValueError, r"prior\[1\] must be 0.0 or more"),
        ({"prior": [0, 0, 0]}, ValueError, "prior must have a number above 0"),
        ({"prior": "0.2 0.3 0.5"}, TypeError, "prior must be a sequence of 3 numbers"),
        ({"phi": 1.5}, ValueError, "phi must be from 0.0 to 1.0"),
        ({"n_jobs": 2.5}, TypeError, "n_jobs must be None or an int"),
        ({"verbose": -1}, ValueError, "verbose must be 0 or more"),
        ({"item_use": "11011"}, TypeError, "item_use must be 5 booleans or a list of the item names"),
        ({"item_use": [True, False]}, ValueError, r"one boolean per item \(5\); it holds 2"),
        ({"item_use": [True, "q2"]}, TypeError, "all booleans or all item names"),
        ({"item_use": ["q1", "q9"]}, ValueError, "items that X does not have: 'q9'"),
        ({"item_use": []}, ValueError, "leaves no item in use"),
        ({"item_use": [False] * 5}, ValueError, "leaves no item in use"),
        ({"fixed_profile": np.full((5, 2), 0.5)}, ValueError, r"must be 5 x 3 \(items x ranks\); it is 5 x 2"),
        ({"fixed_profile": np.full((5, 3), 1.5)}, ValueError, r"holds 1.5 for item 1, rank 1: values must be in \[0, 1\]"),
        ({"fixed_profile": np.full((5, 3), "a")}, ValueError, "must hold numbers or NaN"),
        ({"fixed_profile": "fixed.csv"}, TypeError, "fixed_profile must be a 5 x 3 array or a DataFrame"),
        ({"fixed_profile": pd.DataFrame({1: [0.5]}, index=["q8"])}, ValueError, "items that X does not have: 'q8'"),
        ({"fixed_profile": pd.DataFrame({"1": [0.5]}, index=["q1"])}, ValueError, r"columns must be ranks 1..3 \(int\); it has '1'"),
        ({"fixed_profile": pd.DataFrame({4: [0.5]}, index=["q1"])}, ValueError, "columns must be ranks 1..3"),
    ],
)
def test_bad_parameters(params, error, match):
    lra = tavrel.LatentRankAnalysis(**{"n_ranks": 3, **params})
    with pytest.raises(error, match=match):
        lra.fit(DF)


def test_parameters_that_need_item_names():
    with pytest.raises(TypeError, match="item_use by name needs a DataFrame"):
        tavrel.LatentRankAnalysis(3, item_use=["q1"]).fit(X)
    fixed = pd.DataFrame({2: [0.4]}, index=["q1"])
    with pytest.raises(ValueError, match=r"X is an array: its items are 1..J"):
        tavrel.LatentRankAnalysis(3, fixed_profile=fixed).fit(X)
    # An array's items are numbered 1..J, as its profile_ shows them.
    on_array = tavrel.LatentRankAnalysis(3, random_state=2, max_iter=5, fixed_profile=fixed.rename(index={"q1": 1}))
    assert on_array.fit(X).profile_.loc[1, 2] == 0.4


def test_thread_counts_beyond_the_processors_are_accepted():
    for n_jobs in (None, 0, -1, 1, 10**6):
        tavrel.LatentRankAnalysis(2, max_iter=2, n_jobs=n_jobs).fit(X)


def test_write_results_arguments(tmp_path):
    lra = tavrel.LatentRankAnalysis(2, random_state=1, max_iter=3).fit(DF)
    with pytest.raises(TypeError, match="unexpected keyword argument 'irp'; the file keys are outfile"):
        lra.write_results(tmp_path, irp="x.csv")
    with pytest.raises(TypeError, match="outfile must be a file name"):
        lra.write_results(tmp_path, outfile=3)
    with pytest.raises(ValueError, match="dlm ';' is not a delimiter"):
        lra.write_results(tmp_path, dlm=";")
    lra.write_results(tmp_path, dlm="TAB", **{key: None for key in ("rankfile", "rmpfile", "worpfile", "uorpfile")})
    assert (tmp_path / "irp.csv").read_text().startswith("item\t1\t2\n")
    assert not (tmp_path / "rank.csv").exists()


def test_files_that_cannot_be_written_name_the_file(tmp_path):
    lra = tavrel.LatentRankAnalysis(2, random_state=1, max_iter=3).fit(DF)
    missing = tmp_path / "no such folder"
    with pytest.raises(OSError) as raised:
        lra.write_results(missing)
    assert raised.value.filename == os.path.join(missing, "irp.csv")
    assert "irp.csv" in str(raised.value)
    assert not missing.exists()
    # The files before the one that fails are complete.
    (tmp_path / "rank.csv").mkdir()
    with pytest.raises(OSError, match="rank.csv"):
        lra.write_results(tmp_path)
    assert (tmp_path / "irp.csv").read_text().count("\n") == 6
    with pytest.raises(OSError, match="report.html"):
        lra.write_report(missing / "report.html")
    with pytest.raises(TypeError, match="data_name must be a str"):
        lra.write_report(tmp_path / "r.html", data_name=3)
