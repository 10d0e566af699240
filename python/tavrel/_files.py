"""The console program's readers of response data, into a DataFrame."""

import os

import numpy as np
import pandas as pd

from . import _core, _params
from ._estimator import _warn

_FORMATS = {"fixed": "\0", "csv": ",", "tsv": "\t", "semicolon": ";"}
_ANSWER_WORDS = {"1", "1.0", "TRUE", "True", "true", "0", "0.0", "FALSE", "False", "false"}
_BLANKS = " \t\r\n\v\f"


def read_responses(
    path,
    *,
    dataformat="fixed",
    header=None,
    na=None,
    idbegin=None,
    idlength=0,
    databegin=0,
    nitems=0,
    firstobs=None,
    nobs=0,
    encoding="utf-8",
    verbose=0,
):
    """Reads a response data file as the console program reads it.

    The keywords are the data keys of a setting file, with the same meaning
    and defaults; the file's warnings (illegal values, short lines) become
    Python warnings (``tavrel.TavrelWarning``).

    Parameters
    ----------
    path : str or os.PathLike
        The response data file.
    dataformat : {"fixed", "csv", "tsv", "semicolon"}, default "fixed"
        Fixed columns, or delimited records (comma, tab, semicolon).
    header : bool, optional
        Delimited data: the record before `firstobs` names the columns
        (default True).
    na : str, optional
        Delimited data: one more text that means a missing answer, such as "-99".
    idbegin : int, optional
        The first column of the examinee ids (delimited data: the id field);
        0: no ids. Not given: no ids, but for delimited data with a header
        whose first name is empty, whose first column holds the ids.
    idlength : int, default 0
        Fixed columns: the width of the ids; 0: up to the first blank.
    databegin : int, default 0
        The first response column; 0: detected.
    nitems : int, default 0
        The number of items; 0: detected.
    firstobs : int, optional
        The line (delimited data: record) of the first examinee; default 1,
        or 2 for delimited data with a header.
    nobs : int, default 0
        The largest number of examinees to read; 0: no limit.
    encoding : str, default "utf-8"
        The file's text encoding (key ``encoding``): ``"utf-8"``,
        ``"cp932"`` (also ``"shift_jis"``, ``"sjis"``, ``"windows-31j"``),
        ``"cp1252"`` (``"windows-1252"``), ``"latin1"`` (``"iso-8859-1"``),
        ``"utf-16"`` (``"utf-16le"``) or ``"utf-16be"``, case ignored; a byte
        order mark at the file's start overrides it. Ids and item names come
        back as str whatever the encoding.
    verbose : int, default 0
        1 shows the reader's messages on ``sys.stderr`` as the console program does.

    Returns
    -------
    DataFrame
        One row per examinee, one column per item, of pandas' nullable
        ``Int8``: 1, 0 or ``<NA>``. The index holds the ids when the file has
        them (else it is the default RangeIndex); the columns are the item
        names from the header (an empty name gives the item's number as
        text), or 1..J.

    Raises
    ------
    OSError
        The file cannot be opened.
    ValueError
        A keyword's value is not one the key takes, or the file is UTF-16
        but read in fixed columns.
    """
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"path must be a str or a path, not {type(path).__name__}")
    if not isinstance(dataformat, str) or dataformat.lower() not in _FORMATS:
        raise ValueError(f"dataformat {dataformat!r} is unknown; use 'fixed', 'csv', 'tsv' or 'semicolon'")
    delimiter = _FORMATS[dataformat.lower()]
    if not isinstance(encoding, str):
        raise TypeError(f"encoding must be a str, not {type(encoding).__name__}")
    if _core.encoding_word(encoding) is None:
        raise ValueError(
            f"encoding {encoding!r} is unknown; use 'utf-8', 'cp932', 'cp1252', 'latin1', 'utf-16' or 'utf-16be'"
        )
    delimited = delimiter != "\0"
    # The library gives each format its defaults; here only what it would
    # take silently or warn of is refused.
    if idbegin is not None:
        idbegin = _params.integer("idbegin", idbegin, 0, 2**62)
    idlength = _params.integer("idlength", idlength, 0, 2**31 - 1)
    databegin = _params.integer("databegin", databegin, 0, 2**62)
    nitems = _params.integer("nitems", nitems, 0, 2**31 - 1)
    nobs = _params.integer("nobs", nobs, 0, 2**62)
    if firstobs is not None:
        firstobs = _params.integer("firstobs", firstobs, 1, 2**62)
    if delimited:
        if header is not None:
            header = _params.boolean("header", header)
        if idlength != 0:
            raise ValueError("idlength applies to fixed columns; delimited ids keep their own length")
        if na is not None:
            if not isinstance(na, str):
                raise TypeError(f"na must be a str, not {type(na).__name__}")
            if na.strip(_BLANKS) in _ANSWER_WORDS:
                raise ValueError(
                    f"na {na.strip(_BLANKS)!r} is an answer; give a text that means a missing answer, such as '-99'"
                )
    elif header is not None or na is not None:
        raise ValueError("header and na apply to delimited data (dataformat 'csv', 'tsv' or 'semicolon')")

    messages = []
    try:
        codes, ids, names = _core.read_responses(
            path=os.fsencode(path),
            delimiter=delimiter,
            idbegin=idbegin,
            idlength=idlength,
            databegin=databegin,
            nitems=nitems,
            firstobs=firstobs,
            nobs=nobs,
            header=header,
            na=na,
            encoding=encoding,
            verbose=_params.verbose(verbose),
            warnings=messages,
        )
    finally:
        _warn(messages, stacklevel=2)

    N, J = codes.shape
    correct = np.ascontiguousarray((codes == ord("1")).T).astype(np.int8)
    missing = np.ascontiguousarray(((codes != ord("1")) & (codes != ord("0"))).T)
    del codes
    labels = [name if name else str(j + 1) for j, name in enumerate(names)] if names else list(range(1, J + 1))
    index = pd.Index(ids, dtype=object) if ids is not None else pd.RangeIndex(N)
    columns = {j: pd.arrays.IntegerArray(correct[j], missing[j]) for j in range(J)}
    frame = pd.DataFrame(columns, index=index)
    frame.columns = pd.Index(labels) if names else pd.RangeIndex(1, J + 1)
    return frame
