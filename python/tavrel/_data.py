"""Data frames and arrays into the engine's response table.

The cells are read in place by the extension (numeric columns through their
strides, nullable columns through their values and mask, object columns one
object at a time); this module only picks the arrays to read and turns the
first value that is not an answer into an error that names it.
"""

import os

import numpy as np
import pandas as pd

from . import _core

# The arrays the extension reads as they are: numpy's kind and item sizes.
_NATIVE_SIZES = {"b": (1,), "i": (1, 2, 4, 8), "u": (1, 2, 4, 8), "f": (4, 8)}

ANSWERS = "an answer is 1, 0, True or False, and a missing one NaN, None or pd.NA"


def available_processors():
    """The processors this process may run on."""
    try:
        return len(os.sched_getaffinity(0)) or 1
    except (AttributeError, OSError):
        return os.cpu_count() or 1


class Responses:
    """A data frame or array as the engine reads it.

    Attributes
    ----------
    codes : numpy.ndarray
        N x J uint8: ``ord('1')`` correct, ``ord('0')`` incorrect, ``ord('.')`` missing.
    index : pandas.Index
        The examinees' labels: the data frame's index, or 0..N-1 for an array.
    columns : pandas.Index or None
        The data frame's column labels, in the order of the codes; None for an array.
    """

    def __init__(self, codes, index, columns):
        self.codes = codes
        self.index = index
        self.columns = columns


def _readable(values):
    """The array itself when the extension reads its dtype, else an exact equivalent."""
    dtype = values.dtype
    if dtype.kind in _NATIVE_SIZES and dtype.itemsize in _NATIVE_SIZES[dtype.kind]:
        return values if dtype.isnative else values.astype(dtype.newbyteorder("="))
    if dtype.kind == "f" and dtype.itemsize == 2:
        return values.astype(np.float32)  # exact
    if dtype.kind == "O":
        return values
    # Anything else (long double, complex, text, dates) is compared object by object.
    return values.astype(object)


def _column_source(column):
    """What the extension reads for one column of a data frame."""
    array = column.array
    if isinstance(array, (pd.arrays.IntegerArray, pd.arrays.BooleanArray, pd.arrays.FloatingArray)):
        return (_readable(np.asarray(array._data)), np.asarray(array._mask))
    if isinstance(column.dtype, np.dtype):
        return _readable(column.to_numpy())
    return np.asarray(array, dtype=object)


def _same_numpy_dtype(frame):
    dtypes = set(frame.dtypes)
    if len(dtypes) != 1:
        return False
    (dtype,) = dtypes
    return isinstance(dtype, np.dtype) and dtype.kind in "biufO"


def _sources(X, order):
    """One readable array (or values, mask pair) per item, in `order`."""
    if isinstance(X, pd.DataFrame):
        if _same_numpy_dtype(X):
            # One block: a view of it, read column by column through its strides.
            values = _readable(X.to_numpy())
            return [values[:, j] for j in order]
        return [_column_source(X.iloc[:, j]) for j in order]
    values = _readable(X)
    return [values[:, j] for j in order]


def _label(value):
    return repr(value) if isinstance(value, str) else str(value)


def _bad_value_error(X, row, column, what):
    if isinstance(X, pd.DataFrame):
        value = X.iloc[row, column]
        where = (
            f"row {_label(X.index[row])} (position {row}), "
            f"column {_label(X.columns[column])} (position {column})"
        )
    else:
        value = X[row, column]
        where = f"row {row}, column {column}"
    return ValueError(f"{what} holds {value!r} ({type(value).__name__}) at {where}; {ANSWERS}")


def check_table(X, what="X"):
    """Raises TypeError or ValueError unless X is a data frame or a 2-D array with cells."""
    if isinstance(X, pd.DataFrame):
        shape = X.shape
    elif isinstance(X, np.ndarray):
        if X.ndim != 2:
            raise ValueError(
                f"{what} must be 2-D (examinees x items); it has {X.ndim} dimension(s): "
                "reshape a single item with X.reshape(-1, 1), a single examinee with X.reshape(1, -1)"
            )
        shape = X.shape
    else:
        raise TypeError(
            f"{what} must be a pandas DataFrame or a 2-D numpy array, not {type(X).__name__}; "
            "convert it with pandas.DataFrame(...) or numpy.asarray(...)"
        )
    if shape[0] == 0:
        raise ValueError(f"{what} has no rows (examinees)")
    if shape[1] == 0:
        raise ValueError(f"{what} has no columns (items)")


def encode(X, order=None, threads=1, what="X"):
    """The N x J codes of X (its columns in `order`, default all in turn)."""
    if order is None:
        order = range(X.shape[1])
    sources = _sources(X, order)
    codes, bad = _core.encode(sources, X.shape[0], max(1, threads), pd.NA)
    if bad is not None:
        row, position = bad
        raise _bad_value_error(X, row, order[position], what)
    return codes


def is_default_index(index):
    """True for the RangeIndex 0, 1, ... that pandas gives a frame without labels."""
    return isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1


def responses(X, threads=1):
    """The Responses of a training table: checks it, its item names and its cells."""
    check_table(X)
    if isinstance(X, pd.DataFrame):
        names = [str(c) for c in X.columns]
        if len(set(names)) != len(names):
            seen, duplicates = set(), []
            for name in names:
                if name in seen and name not in duplicates:
                    duplicates.append(name)
                seen.add(name)
            raise ValueError(f"X has duplicate item names: {', '.join(map(repr, duplicates))}; rename its columns")
        return Responses(encode(X, threads=threads), X.index, X.columns)
    return Responses(encode(X, threads=threads), pd.RangeIndex(X.shape[0]), None)
