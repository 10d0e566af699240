"""read_responses: the console program's readers into a DataFrame, their
warnings as Python warnings, and a fit on what they read writes the console
program's files."""

import numpy as np
import pandas as pd
import pytest

import tavrel
from conftest import RESULT_FILES, answers, frame, read_files, run_console, write_fixed


def test_fixed_columns_with_ids(tmp_path):
    (tmp_path / "d.txt").write_text("S01 10.1\nS02 0111\nS03 1x0\n")
    with pytest.warns(tavrel.TavrelWarning) as caught:
        data = tavrel.read_responses(tmp_path / "d.txt", idbegin=1)
    texts = [str(w.message) for w in caught]
    assert {w.filename for w in caught} == {__file__}
    assert any("Illeagal character 'x'" in t for t in texts) and any("Line length is too short" in t for t in texts)
    assert list(data.index) == ["S01", "S02", "S03"] and list(data.columns) == [1, 2, 3, 4]
    assert (data.dtypes == "Int8").all()
    assert data.loc["S01"].tolist() == [1, 0, pd.NA, 1]
    assert data.loc["S03"].tolist() == [1, pd.NA, 0, pd.NA]


def test_fixed_columns_without_ids_and_layout_keywords(tmp_path):
    (tmp_path / "d.txt").write_text("header line\nxx1100\nxx0011\nxx1111\n")
    data = tavrel.read_responses(tmp_path / "d.txt", databegin=3, nitems=3, firstobs=2, nobs=2)
    assert isinstance(data.index, pd.RangeIndex) and data.shape == (2, 3)
    assert data.to_numpy(dtype=float).tolist() == [[1, 1, 0], [0, 0, 1]]


def test_delimited_data_with_names_missing_words_and_unnamed_id_column(tmp_path):
    (tmp_path / "d.csv").write_text(',q1,q2,q3\n"S,1",True,-99,NA\nS2,0,1.0,False\n')
    data = tavrel.read_responses(tmp_path / "d.csv", dataformat="CSV", na="-99")
    assert list(data.index) == ["S,1", "S2"] and list(data.columns) == ["q1", "q2", "q3"]
    assert data.loc["S,1"].tolist() == [1, pd.NA, pd.NA] and data.loc["S2"].tolist() == [0, 1, 0]
    # idbegin = 0 keeps the first column as an item.
    with pytest.warns(tavrel.TavrelWarning, match="Illeagal value"):
        plain = tavrel.read_responses(tmp_path / "d.csv", dataformat="csv", idbegin=0)
    assert plain.shape == (2, 4) and plain.columns[0] == "1"
    (tmp_path / "t.tsv").write_text("1\t0\n\t1\n")
    assert tavrel.read_responses(tmp_path / "t.tsv", dataformat="tsv", header=False).shape == (2, 2)


@pytest.mark.parametrize(
    "keywords, error, match",
    [
        ({"dataformat": "xlsx"}, ValueError, "dataformat 'xlsx' is unknown"),
        ({"header": True}, ValueError, "header and na apply to delimited data"),
        ({"dataformat": "csv", "idlength": 4}, ValueError, "idlength applies to fixed columns"),
        ({"dataformat": "csv", "na": " 1 "}, ValueError, "na '1' is an answer"),
        ({"dataformat": "csv", "header": "yes"}, TypeError, "header must be True or False"),
        ({"idbegin": -1}, ValueError, "idbegin must be from 0"),
        ({"firstobs": 0}, ValueError, "firstobs must be from 1"),
        ({"nitems": 2.0}, TypeError, "nitems must be an int"),
    ],
)
def test_bad_layout_keywords(tmp_path, keywords, error, match):
    (tmp_path / "d.txt").write_text("1010\n")
    with pytest.raises(error, match=match):
        tavrel.read_responses(tmp_path / "d.txt", **keywords)


def test_encodings(tmp_path):
    text = "受験者,問1,問2,設問③\n山田 太郎,1,0,\nＳ－２,0,1,1\n"
    (tmp_path / "utf8.csv").write_text(text, encoding="utf-8")
    (tmp_path / "sjis.csv").write_text(text, encoding="cp932")
    twin = tavrel.read_responses(tmp_path / "utf8.csv", dataformat="csv", idbegin=1)
    data = tavrel.read_responses(tmp_path / "sjis.csv", dataformat="csv", idbegin=1, encoding="Shift_JIS")
    pd.testing.assert_frame_equal(data, twin)
    assert list(data.index) == ["山田 太郎", "Ｓ－２"] and list(data.columns) == ["問1", "問2", "設問③"]

    with pytest.raises(ValueError, match="encoding 'ebcdic' is unknown"):
        tavrel.read_responses(tmp_path / "utf8.csv", dataformat="csv", encoding="ebcdic")
    with pytest.raises(TypeError, match="encoding must be a str"):
        tavrel.read_responses(tmp_path / "utf8.csv", encoding=None)
    (tmp_path / "wide.txt").write_bytes("1010\n".encode("utf-16"))  # with its byte order mark
    with pytest.raises(ValueError, match="is UTF-16; fixed columns are read from single-byte text"):
        tavrel.read_responses(tmp_path / "wide.txt")


def test_a_file_that_cannot_be_read_is_named(tmp_path):
    with pytest.raises(OSError) as raised:
        tavrel.read_responses(tmp_path / "absent.txt")
    assert raised.value.filename == str(tmp_path / "absent.txt")
    with pytest.raises(TypeError, match="path must be"):
        tavrel.read_responses(3)


@pytest.mark.parametrize("layout", ["fixed", "csv"])
def test_a_fit_on_what_the_reader_gives_writes_the_console_programs_files(binary, tmp_path, layout):
    X = answers(N=80, J=6, seed=12)
    if layout == "fixed":
        write_fixed(tmp_path / "data.txt", X)
        keys = {"infile": "data.txt"}
        data = tavrel.read_responses(tmp_path / "data.txt")
    else:
        frame(X).to_csv(tmp_path / "data.csv")  # pandas' unnamed index column
        keys = {"infile": "data.csv", "dataformat": "csv"}
        data = tavrel.read_responses(tmp_path / "data.csv", dataformat="csv")
    run_console(binary, tmp_path, {**keys, "nranks": 3, "method": "ls", "seed": 4, "maxiter": 8, **RESULT_FILES})
    (tmp_path / "package").mkdir()
    tavrel.LatentRankAnalysis(3, "ls", random_state=4, max_iter=8).fit(data).write_results(tmp_path / "package")
    assert read_files(tmp_path / "package") == read_files(tmp_path)
