"""What the package takes as data: every form of an answer and of a missing
one, the errors that name a bad value, ids and item names, and the matching
of new data's columns to the fit's items."""

import numpy as np
import pandas as pd
import pytest

import tavrel
from conftest import answers, frame

X = answers(N=60, J=6, seed=7, missing=0.15)
MISSING = np.isnan(X)
CORRECT = X == 1


def codes(data):
    return tavrel._data.encode(data, threads=2)


EXPECTED = np.where(MISSING, ord("."), np.where(CORRECT, ord("1"), ord("0"))).astype(np.uint8)


def as_object(missing_value, answer=lambda v: v):
    return pd.DataFrame(
        [[missing_value if m else answer(v) for v, m in zip(row, mrow)] for row, mrow in zip(X, MISSING)],
        dtype=object,
    )


FORMS = {
    "float64": lambda: pd.DataFrame(X),
    "float32": lambda: pd.DataFrame(X.astype(np.float32)),
    "float16 array": lambda: X.astype(np.float16),
    "big-endian array": lambda: X.astype(">f8"),
    "Int64": lambda: pd.DataFrame(X).astype("Int64"),
    "Int8": lambda: pd.DataFrame(X).astype("Int8"),
    "UInt16": lambda: pd.DataFrame(X).astype("UInt16"),
    "boolean": lambda: pd.DataFrame(X).astype("boolean"),
    "Float64": lambda: pd.DataFrame(X).astype("Float64"),
    "object None": lambda: as_object(None, int),
    "object pd.NA": lambda: as_object(pd.NA, bool),
    "object NaN": lambda: as_object(float("nan"), float),
    "object numpy scalars": lambda: as_object(np.float32("nan"), lambda v: np.int64(v) if v else np.bool_(False)),
    "mixed columns": lambda: pd.DataFrame(
        {
            0: pd.array(np.where(MISSING[:, 0], None, X[:, 0]), dtype="Int64"),
            1: X[:, 1],
            2: pd.array(np.where(MISSING[:, 2], None, X[:, 2] == 1), dtype="boolean"),
            3: pd.Series(np.where(MISSING[:, 3], None, X[:, 3]), dtype=object),
            4: pd.Categorical(X[:, 4]),
            5: pd.arrays.SparseArray(X[:, 5]),
        }
    ),
    "Fortran array": lambda: np.asfortranarray(X),
    "sliced array": lambda: np.repeat(X, 2, axis=1)[:, ::2],
}


@pytest.mark.parametrize("form", FORMS)
def test_every_form_of_answers_and_missing_values(form):
    assert np.array_equal(codes(FORMS[form]()), EXPECTED)


def test_complete_integer_and_boolean_columns():
    full = answers(N=40, J=5, seed=2, missing=0.0)
    expected = np.where(full == 1, ord("1"), ord("0"))
    for dtype in (np.int8, np.int64, np.uint8, np.uint64, bool):
        assert np.array_equal(codes(full.astype(dtype)), expected)
    assert np.array_equal(codes(pd.DataFrame(full.astype(bool))), expected)


def test_long_tables_split_over_threads_give_the_same_codes():
    big = answers(N=40000, J=40, seed=4, missing=0.05)
    assert np.array_equal(tavrel._data.encode(big, threads=1), tavrel._data.encode(big, threads=3))
    assert np.array_equal(tavrel._data.encode(pd.DataFrame(big), threads=3), tavrel._data.encode(big, threads=1))


@pytest.mark.parametrize(
    "value, shown",
    [(2, "2"), (0.5, "0.5"), (-1.0, "-1.0"), (np.inf, "inf"), ("1", "'1'"), ("", "''"), (pd.NaT, "NaT")],
)
def test_a_value_that_is_not_an_answer_is_named_with_its_row_and_column(value, shown):
    data = frame(X).astype(object)
    data.iloc[17, 4] = value
    data.iloc[40, 1] = value
    with pytest.raises(ValueError) as raised:
        tavrel.LatentRankAnalysis(2).fit(data)
    message = str(raised.value)
    assert f"X holds {shown}" in message
    assert "row 'S0017' (position 17), column 'q5' (position 4)" in message


@pytest.mark.parametrize(
    "data, where",
    [
        (np.where(np.arange(12).reshape(4, 3) == 7, 3, 1).astype(np.int16), "row 2, column 1"),
        (np.where(np.arange(12).reshape(4, 3) == 5, 2, 0).astype(np.uint32), "row 1, column 2"),
        (np.where(np.arange(12).reshape(4, 3) == 4, 0.25, np.nan), "row 1, column 1"),
        (np.array([["1", "0"], ["1", "x"]]), "row 0, column 0"),
        (np.ones((3, 2), dtype=complex), "row 0, column 0"),
    ],
    ids=["int16", "uint32", "float", "str", "complex"],
)
def test_bad_values_in_arrays(data, where):
    with pytest.raises(ValueError, match=f"at {where};"):
        tavrel.LatentRankAnalysis(2).fit(data)


def test_bad_value_in_a_nullable_column_but_not_under_its_mask():
    data = pd.DataFrame({"a": pd.array([1, 0, None, 1], dtype="Int64"), "b": pd.array([1, None, 5, 0], dtype="Int64")})
    with pytest.raises(ValueError, match=r"holds 5 .* row 2 \(position 2\), column 'b'"):
        tavrel.LatentRankAnalysis(2).fit(data)
    masked = pd.arrays.IntegerArray(np.array([1, 7, 0, 1]), np.array([False, True, False, False]))
    assert codes(pd.DataFrame({"a": masked})).ravel().tolist() == [49, 46, 48, 49]


@pytest.mark.parametrize(
    "data, error, match",
    [
        ([[1, 0], [0, 1]], TypeError, "DataFrame or a 2-D numpy array, not list"),
        (np.ones(5), ValueError, "must be 2-D"),
        (np.ones((0, 4)), ValueError, "no rows"),
        (pd.DataFrame(index=range(3)), ValueError, "no columns"),
        (pd.DataFrame([[1, 0, 1]], columns=["a", "b", "a"]), ValueError, "duplicate item names: 'a'"),
        (pd.DataFrame([[1, 0]], columns=[1, "1"]), ValueError, "duplicate item names: '1'"),
    ],
)
def test_tables_that_cannot_be_analysed(data, error, match):
    with pytest.raises(error, match=match):
        tavrel.LatentRankAnalysis(2).fit(data)


def test_ids_and_item_names(tmp_path):
    data = frame(X)
    data.columns = [10, 20, 30, "x", ("a", 1), 2.5]
    lra = tavrel.LatentRankAnalysis(2, random_state=1, max_iter=5).fit(data)
    assert list(lra.profile_.index) == list(data.columns)
    lra.write_results(tmp_path)
    items = (tmp_path / "item.csv").read_text().splitlines()
    assert items[1].startswith("10,") and items[5].startswith("\"('a', 1)\",") and items[6].startswith("2.5,")
    ranks = (tmp_path / "rank.csv").read_text().splitlines()
    assert ranks[0] == "id,rank" and ranks[1].startswith("S0000,") and ranks[4].startswith('"Smith, ""J""",')
    # A default RangeIndex gives no ids; any other index does, duplicates kept.
    plain = tavrel.LatentRankAnalysis(2, random_state=1, max_iter=5).fit(pd.DataFrame(X))
    plain.write_results(tmp_path, outfile=None)
    assert (tmp_path / "rank.csv").read_text().splitlines()[0] != "id,rank"
    shifted = pd.DataFrame(X, index=pd.RangeIndex(5, 5 + len(X)))
    shifted.index = [7] * len(X)
    dup = tavrel.LatentRankAnalysis(2, random_state=1, max_iter=5).fit(shifted)
    dup.write_results(tmp_path)
    assert (tmp_path / "rank.csv").read_text().splitlines()[2].startswith("7,")
    assert dup.ranks_.index.equals(shifted.index)


def test_new_data_columns_are_matched_by_name():
    data = frame(X)
    lra = tavrel.LatentRankAnalysis(3, random_state=1, max_iter=5).fit(data)
    shuffled = data[["q4", "q2", "q6", "q1", "q5", "q3"]]
    pd.testing.assert_frame_equal(lra.predict_proba(shuffled), lra.memberships_, check_exact=True)
    with pytest.raises(ValueError, match="lacks the fit's items 'q3'"):
        lra.predict(data.drop(columns="q3"))
    with pytest.raises(ValueError, match="does not know: 'extra'"):
        lra.predict(data.assign(extra=1))
    with pytest.raises(ValueError, match="duplicate column names"):
        lra.predict(pd.concat([data, data[["q1"]]], axis=1))
    with pytest.raises(ValueError, match="X has 5 columns; the fit has 6 items"):
        lra.predict(X[:, :5])
    # A fit on an array takes any table of J columns in its order.
    on_array = tavrel.LatentRankAnalysis(3, random_state=1, max_iter=5).fit(X)
    assert np.array_equal(on_array.predict(shuffled.to_numpy()), on_array.predict(pd.DataFrame(shuffled.to_numpy())))
    with pytest.raises(ValueError, match="holds 'x'"):
        lra.predict(data.astype(object).assign(q2="x"))
