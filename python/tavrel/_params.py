"""Checks of the estimator's parameters: each becomes the typed option the
engine takes, or raises TypeError (wrong kind of value) or ValueError (a
value out of range) with what to change."""

import math
import numbers

import numpy as np
import pandas as pd

from . import _core

MOST_THREADS = 256
MOST_SEED = 2147483647


def integer(name, value, low=None, high=None):
    """An int (numpy's included, bool not) within [low, high]."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    value = int(value)
    if (low is not None and value < low) or (high is not None and value > high):
        bounds = f"from {low} to {high}" if high is not None else f"{low} or more"
        raise ValueError(f"{name} must be {bounds}; it is {value}")
    return value


def real(name, value, low=None, high=None):
    """A finite real number within [low, high]."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    value = float(value)
    if not math.isfinite(value):
        raise ValueError(f"{name} must be finite; it is {value}")
    if (low is not None and value < low) or (high is not None and value > high):
        bounds = f"from {low} to {high}" if high is not None else f"{low} or more"
        raise ValueError(f"{name} must be {bounds}; it is {value}")
    return value


def boolean(name, value):
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be True or False, not {type(value).__name__}")
    return bool(value)


def pair(name, value, low):
    """Two numbers: the first pass's and the last pass's."""
    if isinstance(value, (str, bytes)) or not hasattr(value, "__len__") or len(value) != 2:
        raise TypeError(f"{name} must be a pair (first pass, last pass) of numbers, such as (1.0, 0.1)")
    return tuple(real(f"{name}[{i}]", v, low) for i, v in enumerate(value))


def method(value):
    """The method's word in the result files, from any word the key accepts."""
    if not isinstance(value, str):
        raise TypeError(f"method must be a str, not {type(value).__name__}")
    word = _core.method_word(value)
    if word is None:
        raise ValueError(
            f"method {value!r} is unknown; use 'ml', 'bayes', 'ls' or 'batch' "
            "(or another word of the method key, such as 'likelihood', 'map', 'euclid', 'em')"
        )
    return word


def seed(value):
    """random_state as the engine's seed: None is 0 (from the clock)."""
    if value is None:
        return 0
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError(
            f"random_state must be None or an int from 1 to {MOST_SEED}, not {type(value).__name__}"
        )
    return integer("random_state", value, 1, MOST_SEED)


def threads(value):
    """n_jobs as the engine's thread count: 0 is every processor."""
    if value is None:
        return 0
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError(f"n_jobs must be None or an int, not {type(value).__name__}")
    return min(int(value), MOST_THREADS) if value >= 1 else 0


def verbose(value):
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    return integer("verbose", value, 0) > 0


def prior(value, nranks):
    """K probabilities, as given."""
    if value is None:
        return None
    if isinstance(value, (str, bytes, dict)) or not hasattr(value, "__len__"):
        raise TypeError(f"prior must be a sequence of {nranks} numbers, not {type(value).__name__}")
    values = [real(f"prior[{k}]", v, 0.0) for k, v in enumerate(np.asarray(value, dtype=object).ravel())]
    if np.ndim(value) != 1 or len(values) != nranks:
        raise ValueError(f"prior must hold n_ranks = {nranks} numbers; it holds {len(values)}")
    if not any(v > 0 for v in values):
        raise ValueError("prior must have a number above 0")
    return values


def item_use(value, data):
    """The J flags '1'/'0' of the items in use, from booleans or the names of the items to keep."""
    if value is None:
        return None
    J = data.codes.shape[1]
    if isinstance(value, (str, bytes)) or not hasattr(value, "__iter__") or isinstance(value, (dict, set)):
        raise TypeError(
            f"item_use must be {J} booleans or a list of the item names to keep, not {type(value).__name__}"
        )
    items = list(value.to_numpy() if isinstance(value, (pd.Series, pd.Index)) else value)
    flags = [isinstance(v, (bool, np.bool_)) for v in items]
    if items and all(flags):
        if len(items) != J:
            raise ValueError(f"item_use must hold one boolean per item ({J}); it holds {len(items)}")
        use = [bool(v) for v in items]
    elif any(flags):
        raise TypeError("item_use must be all booleans or all item names, not a mix")
    else:
        if data.columns is None:
            raise TypeError(f"item_use by name needs a DataFrame; X is an array, so give {J} booleans")
        positions = {label: j for j, label in enumerate(data.columns)}
        unknown = [v for v in items if v not in positions]
        if unknown:
            raise ValueError(f"item_use names items that X does not have: {', '.join(map(repr, unknown))}")
        kept = {positions[v] for v in items}
        use = [j in kept for j in range(J)]
    if not any(use):
        raise ValueError("item_use leaves no item in use")
    return "".join("1" if u else "0" for u in use)


def fixed_profile(value, data, nranks):
    """(values, mask) of a fixed profile: J x K item-major, mask '0' where fixed.

    A learned cell starts where the engine starts every cell, (k + 1) / (K + 1).
    """
    if value is None:
        return None, None
    J = data.codes.shape[1]
    K = nranks
    if isinstance(value, pd.DataFrame):
        items = data.columns if data.columns is not None else pd.RangeIndex(1, J + 1)
        if value.index.has_duplicates or value.columns.has_duplicates:
            raise ValueError("fixed_profile has duplicate items or ranks")
        unknown = [label for label in value.index if label not in items]
        if unknown:
            raise ValueError(
                "fixed_profile has rows for items that X does not have: "
                f"{', '.join(map(repr, unknown[:10]))}"
                + ("" if data.columns is not None else " (X is an array: its items are 1..J)")
            )
        bad_ranks = [
            rank
            for rank in value.columns
            if isinstance(rank, (bool, np.bool_)) or not isinstance(rank, numbers.Integral) or not 1 <= rank <= K
        ]
        if bad_ranks:
            raise ValueError(
                f"fixed_profile's columns must be ranks 1..{K} (int); it has {', '.join(map(repr, bad_ranks[:10]))}"
            )
        frame = value.reindex(index=items, columns=pd.RangeIndex(1, K + 1))
        try:
            cells = frame.to_numpy(dtype=np.float64, na_value=np.nan)
        except (TypeError, ValueError) as error:
            raise ValueError(f"fixed_profile must hold numbers or NaN: {error}") from None
    else:
        if isinstance(value, (str, bytes)) or not hasattr(value, "__len__"):
            raise TypeError(
                f"fixed_profile must be a {J} x {K} array or a DataFrame, not {type(value).__name__}"
            )
        array = np.asarray(value)
        if array.ndim != 2 or array.shape != (J, K):
            raise ValueError(f"fixed_profile must be {J} x {K} (items x ranks); it is {' x '.join(map(str, array.shape))}")
        if array.dtype.kind not in "biuf" and array.dtype != object:
            raise ValueError(f"fixed_profile must hold numbers or NaN, not {array.dtype}")
        try:
            cells = np.array(
                [[np.nan if v is None or v is pd.NA else v for v in row] for row in array.tolist()]
                if array.dtype == object
                else array,
                dtype=np.float64,
            )
        except (TypeError, ValueError) as error:
            raise ValueError(f"fixed_profile must hold numbers or NaN: {error}") from None
    fixed = ~np.isnan(cells)
    outside = fixed & ((cells < 0) | (cells > 1))
    if outside.any():
        j, k = map(int, np.argwhere(outside)[0])
        raise ValueError(f"fixed_profile holds {cells[j, k]!r} for item {j + 1}, rank {k + 1}: values must be in [0, 1]")
    start = np.array([float(k + 1) / float(K + 1) for k in range(K)])
    values = np.where(fixed, cells, start[np.newaxis, :])
    mask = "".join("0" if f else "1" for f in fixed.ravel())
    return [float(v) for v in values.ravel()], mask
