"""The estimator: latent rank analysis with scikit-learn's conventions."""

import os
import warnings

import numpy as np
import pandas as pd

from . import _core, _data, _params

# The result files by their keys, in the order they are written, with the
# demo's names.
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

DELIMITERS = {",": ",", "comma": ",", "c": ",", "\t": "\t", "tab": "\t", "t": "\t", " ": " ", "space": " ", "s": " "}

_DEFAULTS = {
    "n_ranks": 10,
    "method": "ml",
    "max_iter": 100,
    "random_state": None,
    "n_init": 1,
    "learning_rate": (1.0, 0.1),
    "width": (1.0, 0.12),
    "tol": 0.0001,
    "monotone": False,
    "prior": None,
    "item_use": None,
    "fixed_profile": None,
    "phi": None,
    "n_jobs": None,
    "verbose": 0,
}


class ConvergenceWarning(UserWarning):
    """The batch estimation stopped at ``max_iter`` before the change met ``tol``."""


class TavrelWarning(UserWarning):
    """A warning of the engine or its readers, with the console program's text."""


class NotFittedError(ValueError, AttributeError):
    """The estimator is used before ``fit``."""


def _warn(texts, stacklevel=2):
    """The engine's warnings, attributed as warnings.warn(stacklevel) in the caller would."""
    for text in texts:
        warnings.warn(text, TavrelWarning, stacklevel=stacklevel + 1)


def _same(value, default):
    try:
        return type(value) is type(default) and bool(value == default)
    except (TypeError, ValueError):
        return False


def _rank_index(K):
    return pd.RangeIndex(1, K + 1, name="rank")


def _table(columns, index):
    """A statistics table: counts as int64, or as nullable Int64 where one is NA; numbers as float64."""
    data = {}
    for name, is_count, values in columns:
        if is_count:
            missing = np.isnan(values)
            if missing.any():
                data[name] = pd.arrays.IntegerArray(np.where(missing, 0, values).astype(np.int64), missing)
            else:
                data[name] = values.astype(np.int64)
        else:
            data[name] = values
    # Each column its own block: no consolidating copy of N x columns values.
    return pd.DataFrame(data, index=index, copy=False)


class LatentRankAnalysis:
    """Latent rank analysis of test data.

    Sorts the examinees of a table of answers (examinees x items: correct,
    incorrect or missing) into ``n_ranks`` ordered latent ranks and estimates
    every item's reference profile, the probability of a correct answer at
    each rank, with the tavrel engine: the same results, to the bit, as the
    console program's for the same data and settings. Each parameter is a
    run parameter of the console program, under the key named below.

    Parameters
    ----------
    n_ranks : int, default 10
        The number of latent ranks K, 1 or more (key ``nranks``).
    method : str, default "ml"
        How the ranks are estimated (key ``method``): ``"ml"`` sequential
        learning where the likelihood picks each examinee's rank; ``"bayes"``
        the same with the posterior under ``prior``; ``"ls"`` with the squared
        distance; ``"batch"`` batch estimation with a smoothing filter across
        ranks. The key's other words are accepted too: ``"likelihood"``,
        ``"l"``, ``"map"``, ``"bayesian"``, ``"ed2"``, ``"euclid"``,
        ``"euclidean"``, ``"e"``, ``"distance"``, ``"d"``, ``"gtm"``, ``"em"``.
    max_iter : int, default 100
        Passes of sequential learning; the iteration limit of batch
        estimation (key ``maxiter``).
    random_state : int or None, default None
        The seed of the examinee order of sequential learning (key ``seed``):
        an int from 1 to 2147483647, or None for a seed from the clock (as
        ``seed = 0``). ``seed_`` holds the seed used.
    n_init : int, default 1
        Runs of a sequential method (key ``restarts``), with the seeds s,
        s + 1, ..., s + n_init - 1 from the seed s of ``random_state``; the
        run with the largest marginal log-likelihood is kept (on a tie the
        first), and every result equals a single fit with that run's seed.
        The runs are fewer when the last seed would pass 2147483647. The
        batch method's start depends on no seed: there n_init above 1 warns
        and one run is made.
    learning_rate : (float, float), default (1.0, 0.1)
        The learning rate factor at the first and at the last pass of
        sequential learning (keys ``alpha1``, ``alphat``); 0 or more.
    width : (float, float), default (1.0, 0.12)
        The neighbourhood width at the first and at the last pass of
        sequential learning (keys ``sigma1``, ``sigmat``); 0 or more.
    tol : float, default 0.0001
        The convergence criterion of batch estimation (key ``diffcrit``).
    monotone : bool, default False
        Sort every item's profile into ascending order after each pass (key
        ``increase``).
    prior : sequence of float or None, default None
        The prior probability of each rank, K numbers used as given (key
        ``prior``), by the methods that use one (``"bayes"``, ``"batch"``);
        None: 1/K each.
    item_use : sequence of bool, sequence of item names, or None, default None
        The items the analysis uses (key ``itemuse``): one boolean per item,
        or the names (column labels) of the items to keep. Items out of use
        take no part in the estimation or the statistics; their profile is
        NaN. Another kind of value raises TypeError.
    fixed_profile : array-like of shape (J, K), DataFrame, or None, default None
        Profile cells kept at given values (key ``fixedfile``): a J x K array,
        or a DataFrame whose index holds item names (for an array X: item
        numbers 1..J) and whose columns hold ranks 1..K, aligned to X; rows
        and columns it lacks are learned. NaN is a learned cell; values must
        lie in [0, 1]. With any fixed profile, even one all NaN, the finished
        profile is oriented as the console program orients it with a fixed
        profile file: one whose last rank totals less than its first is
        reversed. ``profile_`` of a fit may be given.
    phi : float or None, default None
        Batch estimation's smoothing: the weight a rank keeps for itself,
        from 0 to 1 (key ``phi``); None: the default for K. Only
        ``"batch"`` uses it.
    n_jobs : int or None, default None
        Worker threads (key ``threads``): None or any int below 1 uses every
        processor the process may use; a positive int that many, at most 256.
        Unlike scikit-learn's None = 1, deliberately: results never depend on
        it. The environment variable TAVREL_THREADS plays no part.
    verbose : int, default 0
        0 shows nothing; 1 shows the console program's progress and messages
        on ``sys.stderr``.

    Attributes
    ----------
    profile_ : DataFrame of shape (J, K)
        The item reference profile: index the item names (for an array X
        1..J), columns the ranks 1..K; items out of use are NaN.
    ranks_ : Series of int
        Every examinee's latent rank, 1..K, indexed as X (an examinee without
        any response gets the rank the rank file gives).
    memberships_ : DataFrame of shape (N, K)
        Every examinee's rank memberships (probabilities); under ``"ls"`` the
        likelihood's, as the statistics use them.
    distances_ : DataFrame of shape (N, K) or None
        Under ``"ls"`` the squared distances of every examinee to each rank,
        as the membership file writes them; None otherwise.
    test_statistics_ : Series
        The test file's statistics by name: int, float (NaN for NA), str,
        bool, or None (for NA where the value is not a number).
    item_statistics_ : DataFrame
        The item file's columns, indexed by item; items out of use are NA.
        Count columns are int64, or pandas' nullable Int64 when one of their
        values is NA; the others float64 with NaN for NA.
    rank_statistics_ : DataFrame
        The rank file's columns, indexed by rank 1..K.
    examinee_statistics_ : DataFrame
        The examinee file's columns without the id, indexed as X.
    n_iter_ : int
        The passes run.
    converged_ : bool or None
        Batch estimation: whether the change met ``tol``; None for the
        sequential methods.
    trace_ : ndarray of float
        Batch estimation: the log-likelihood per response cell after each
        pass; empty for the sequential methods.
    seed_ : int or None
        The seed of the examinee order that was used (of the kept run, with
        ``n_init`` above 1); None for ``"batch"``, which draws none.
    loglik_marginal_ : float
        The marginal log-likelihood of the training data under the fitted
        profile and prior: the sum over the examinees with a response of the
        log of the sum over ranks of prior(k) times the likelihood of their
        answers at rank k.
    restarts_ : DataFrame or None
        With ``n_init`` above 1 (sequential methods), one row per run,
        indexed by the run 1..n: ``seed``, ``loglik_marginal``, ``kept`` (the
        run whose results these are), ``weakly_ordinal`` (its test reference
        profile rises from rank to rank) and ``same_rank_share`` (the share
        of examinees with a response whose rank equals the kept run's). None
        after a single run.
    phi_ : float or None
        Batch estimation: the smoothing weight used; None otherwise.
    n_features_in_ : int
        The number of items J.
    feature_names_in_ : ndarray of object
        The column labels of X, when X was a DataFrame.

    Examples
    --------
    >>> import pandas as pd, tavrel
    >>> X = pd.read_csv("answers.csv", index_col="id")  # doctest: +SKIP
    >>> lra = tavrel.LatentRankAnalysis(n_ranks=5, method="batch", random_state=1).fit(X)  # doctest: +SKIP
    >>> lra.write_results("out")  # doctest: +SKIP
    """

    def __init__(
        self,
        n_ranks=10,
        method="ml",
        *,
        max_iter=100,
        random_state=None,
        n_init=1,
        learning_rate=(1.0, 0.1),
        width=(1.0, 0.12),
        tol=0.0001,
        monotone=False,
        prior=None,
        item_use=None,
        fixed_profile=None,
        phi=None,
        n_jobs=None,
        verbose=0,
    ):
        self.n_ranks = n_ranks
        self.method = method
        self.max_iter = max_iter
        self.random_state = random_state
        self.n_init = n_init
        self.learning_rate = learning_rate
        self.width = width
        self.tol = tol
        self.monotone = monotone
        self.prior = prior
        self.item_use = item_use
        self.fixed_profile = fixed_profile
        self.phi = phi
        self.n_jobs = n_jobs
        self.verbose = verbose

    # -- scikit-learn's parameter protocol --------------------------------

    def get_params(self, deep=True):
        """The estimator's parameters.

        Parameters
        ----------
        deep : bool, default True
            Ignored: the estimator holds no other estimator.

        Returns
        -------
        dict
            Every constructor parameter by name, as stored.
        """
        return {name: getattr(self, name) for name in _DEFAULTS}

    def set_params(self, **params):
        """Sets parameters by name.

        Parameters
        ----------
        **params
            Constructor parameters and their new values.

        Returns
        -------
        LatentRankAnalysis
            self.
        """
        for name, value in params.items():
            if name not in _DEFAULTS:
                raise ValueError(
                    f"Invalid parameter {name!r} for estimator {type(self).__name__}; "
                    f"valid parameters are {', '.join(_DEFAULTS)}"
                )
            setattr(self, name, value)
        return self

    def __repr__(self):
        changed = [
            f"{name}={getattr(self, name)!r}"
            for name, default in _DEFAULTS.items()
            if not _same(getattr(self, name), default)
        ]
        return f"{type(self).__name__}({', '.join(changed)})"

    # -- fitting ----------------------------------------------------------

    def fit(self, X, y=None):
        """Estimates the profile and every result from the answers in X.

        Parameters
        ----------
        X : DataFrame or ndarray of shape (N, J)
            One row per examinee, one column per item. A cell is 1 or True
            (correct), 0 or False (incorrect), or missing: NaN, None or
            pd.NA. Columns may be bool, int, uint, float, pandas' nullable
            Int, boolean or Float, or object columns holding those values;
            any other value raises ValueError naming its row and column. A
            DataFrame's columns are the item names (``str`` of each label;
            they must differ) and its index gives the examinee ids (``str``
            of each label) unless it is the default RangeIndex; duplicate ids
            are kept. An array has neither.
        y : None
            Ignored.

        Returns
        -------
        LatentRankAnalysis
            self, fitted.
        """
        options = self._options()
        data = _data.responses(X, options["threads"] or _data.available_processors())
        item_use = _params.item_use(self.item_use, data)
        fixed_values, fixed_mask = _params.fixed_profile(self.fixed_profile, data, options["nranks"])

        messages = []
        try:
            fit = _core.analyze(
                codes=data.codes,
                prior=_params.prior(self.prior, options["nranks"]),
                item_use=item_use,
                fixed_values=fixed_values,
                fixed_mask=fixed_mask,
                warnings=messages,
                **options,
            )
        finally:
            _warn(messages)
        del data.codes

        self._fit = fit
        self._index = data.index
        self._columns = data.columns
        self._set_attributes()
        if fit.method == "batch" and not fit.converged:
            warnings.warn(
                f"the batch estimation stopped after max_iter = {fit.passes} passes before the change met "
                f"tol = {options['diffcrit']!r}; raise max_iter or tol",
                ConvergenceWarning,
                stacklevel=2,
            )
        return self

    def _options(self):
        """The checked parameters that do not depend on the data, as the engine's keywords."""
        learning_rate = _params.pair("learning_rate", self.learning_rate, 0.0)
        width = _params.pair("width", self.width, 0.0)
        return {
            "nranks": _params.integer("n_ranks", self.n_ranks, 1, 2**31 - 1),
            "method": _params.method(self.method),
            "maxiter": _params.integer("max_iter", self.max_iter, 0, 2**31 - 1),
            "seed": _params.seed(self.random_state),
            "restarts": _params.integer("n_init", self.n_init, 1, 2**31 - 1),
            "alpha1": learning_rate[0],
            "alphat": learning_rate[1],
            "sigma1": width[0],
            "sigmat": width[1],
            "diffcrit": _params.real("tol", self.tol, 0.0),
            "increase": _params.boolean("monotone", self.monotone),
            "phi": None if self.phi is None else _params.real("phi", self.phi, 0.0, 1.0),
            "threads": _params.threads(self.n_jobs),
            "verbose": _params.verbose(self.verbose),
        }

    def _set_attributes(self):
        """The learned attributes, from the fit the estimator holds."""
        fit = self._fit
        K = fit.nranks
        ranks = _rank_index(K)
        items = (
            self._columns.rename("item") if self._columns is not None else pd.RangeIndex(1, fit.nitems + 1, name="item")
        )
        profile = fit.profile
        profile[~fit.item_use, :] = np.nan
        self.profile_ = pd.DataFrame(profile, index=items, columns=ranks)
        self.ranks_ = pd.Series(fit.ranks.astype(np.int64) + 1, index=self._index, name="rank")
        self.memberships_ = pd.DataFrame(fit.memberships, index=self._index, columns=ranks)
        distances = fit.distances
        self.distances_ = None if distances is None else pd.DataFrame(distances, index=self._index, columns=ranks)
        self.test_statistics_ = pd.Series(
            dict(fit.test_statistics()), dtype=object, name="value"
        ).rename_axis("statistic")
        self.item_statistics_ = _table(fit.item_statistics(), items)
        self.rank_statistics_ = _table(fit.rank_statistics(), ranks)
        self.examinee_statistics_ = _table(fit.examinee_statistics(), self._index)
        batch = fit.method == "batch"
        self.n_iter_ = int(fit.passes)
        self.converged_ = bool(fit.converged) if batch else None
        self.trace_ = fit.trace
        self.seed_ = None if batch else int(fit.seed)
        self.phi_ = float(fit.phi) if batch else None
        self.loglik_marginal_ = float(fit.loglik_marginal)
        restarts = fit.restarts
        if restarts:
            seed, loglik, weakly, share, kept = zip(*restarts)
            self.restarts_ = pd.DataFrame(
                {
                    "seed": np.array(seed, dtype=np.int64),
                    "loglik_marginal": np.array(loglik, dtype=np.float64),
                    "kept": np.array(kept, dtype=bool),
                    "weakly_ordinal": np.array(weakly, dtype=bool),
                    "same_rank_share": np.array(share, dtype=np.float64),
                },
                index=pd.RangeIndex(1, len(restarts) + 1, name="restart"),
            )
        else:
            self.restarts_ = None
        self.n_features_in_ = int(fit.nitems)
        if self._columns is not None:
            self.feature_names_in_ = np.asarray(self._columns, dtype=object)
        elif hasattr(self, "feature_names_in_"):
            del self.feature_names_in_

    # -- new examinees ------------------------------------------------------

    def _check_fitted(self):
        if not hasattr(self, "_fit"):
            raise NotFittedError(
                f"This {type(self).__name__} instance is not fitted yet; call fit with the training data first"
            )

    def _new_codes(self, X):
        """The codes of new data, its columns matched to the fit's items."""
        _data.check_table(X)
        J = self._fit.nitems
        order = None
        if isinstance(X, pd.DataFrame) and self._columns is not None:
            columns = X.columns
            if columns.has_duplicates:
                raise ValueError("X has duplicate column names; they must name the fit's items once each")
            positions = columns.get_indexer(self._columns)
            missing = [label for label, p in zip(self._columns, positions) if p < 0]
            unknown = [label for label in columns if label not in set(self._columns)]
            if missing or unknown:
                parts = []
                if missing:
                    parts.append(f"lacks the fit's items {', '.join(map(repr, missing[:10]))}")
                if unknown:
                    parts.append(f"has items the fit does not know: {', '.join(map(repr, unknown[:10]))}")
                raise ValueError(f"X {' and '.join(parts)}")
            order = [int(p) for p in positions]
        elif X.shape[1] != J:
            raise ValueError(f"X has {X.shape[1]} columns; the fit has {J} items")
        threads = _params.threads(self.n_jobs)
        return _data.encode(X, order, threads or _data.available_processors()), threads

    def _classify(self, X, ranks, memberships):
        self._check_fitted()
        codes, threads = self._new_codes(X)
        messages = []
        try:
            return _core.classify(
                fit=self._fit,
                codes=codes,
                ranks=ranks,
                memberships=memberships,
                threads=threads,
                verbose=_params.verbose(self.verbose),
                warnings=messages,
            )
        finally:
            _warn(messages, stacklevel=3)

    def predict(self, X):
        """The latent ranks of examinees under the fitted profile, used as it stands.

        Parameters
        ----------
        X : DataFrame or ndarray of shape (N, J)
            Answers as ``fit`` takes them. A DataFrame's columns are matched
            to the fit's items by name, in any order (a missing or an unknown
            name raises ValueError); an array, or any table when the fit was
            on an array, must have the fit's J columns in its order.

        Returns
        -------
        Series or ndarray of int
            Ranks 1..K, computed as the rank file computes them for the
            method: a Series indexed as X for a DataFrame, else an array.
        """
        ranks, _ = self._classify(X, True, False)
        ranks = ranks.astype(np.int64) + 1
        if isinstance(X, pd.DataFrame):
            return pd.Series(ranks, index=X.index, name="rank")
        return ranks

    def predict_proba(self, X):
        """The rank memberships of examinees under the fitted profile.

        Parameters
        ----------
        X : DataFrame or ndarray of shape (N, J)
            As for ``predict``.

        Returns
        -------
        DataFrame or ndarray of shape (N, K)
            Memberships as the statistics use them (under ``"ls"`` the
            likelihood's): a DataFrame indexed as X with columns 1..K for a
            DataFrame, else an array.
        """
        _, memberships = self._classify(X, False, True)
        if isinstance(X, pd.DataFrame):
            return pd.DataFrame(memberships, index=X.index, columns=_rank_index(self._fit.nranks))
        return memberships

    def score_samples(self, X):
        """Each examinee's marginal log-likelihood under the fitted profile and prior.

        Parameters
        ----------
        X : DataFrame or ndarray of shape (N, J)
            As for ``predict``.

        Returns
        -------
        Series or ndarray of float
            The log of the sum over ranks of prior(k) times the likelihood of
            the examinee's answers at rank k (items in use only); NaN for an
            examinee without a response to an item in use. A Series indexed as
            X for a DataFrame, else an array.
        """
        self._check_fitted()
        codes, threads = self._new_codes(X)
        messages = []
        try:
            values = _core.marginal(
                fit=self._fit, codes=codes, threads=threads, verbose=_params.verbose(self.verbose), warnings=messages
            )
        finally:
            _warn(messages)
        if isinstance(X, pd.DataFrame):
            return pd.Series(values, index=X.index, name="loglik_marginal")
        return values

    def score(self, X, y=None):
        """The mean marginal log-likelihood of the examinees of X under the fit.

        Parameters
        ----------
        X : DataFrame or ndarray of shape (N, J)
            As for ``predict``.
        y : None
            Ignored.

        Returns
        -------
        float
            The sum of ``score_samples(X)`` over the examinees with a
            response to an item in use (in examinee order), divided by their
            number; NaN when there are none. For the training data, times that
            number, it is ``loglik_marginal_``.
        """
        values = np.asarray(self.score_samples(X), dtype=np.float64)
        values = values[~np.isnan(values)]
        if values.size == 0:
            return float("nan")
        # Summed one after another, as the engine sums loglik_marginal_.
        return float(np.cumsum(values)[-1] / values.size)

    # -- files ------------------------------------------------------------

    def _labels(self):
        """The files' ids (None: none) and item names (None: numbered)."""
        if self._columns is None:
            return None, None
        ids = None if _data.is_default_index(self._index) else [str(label) for label in self._index]
        return ids, [str(c) for c in self._columns]

    def write_results(self, folder, dlm=",", **names):
        """Writes the console program's result files, byte for byte.

        Parameters
        ----------
        folder : str or os.PathLike
            The folder of the files; it must exist (it is not created).
        dlm : str, default ","
            The delimiter, as the key ``dlm`` takes it: ``","`` (``"comma"``,
            ``"c"``), a tab (``"tab"``, ``"t"``) or a blank (``"space"``, ``"s"``).
        **names : str, os.PathLike or None
            A file's key gives it another name (within `folder`), None leaves
            it out: ``outfile`` (irp.csv), ``rankfile`` (rank.csv),
            ``rmpfile`` (rmp.csv), ``worpfile`` (worp.csv), ``uorpfile``
            (uorp.csv), ``testfile`` (test.csv), ``itemfile`` (item.csv),
            ``trpfile`` (trp.csv), ``examineefile`` (examinee.csv).

        Raises
        ------
        OSError
            A file cannot be written (naming it); the files before it are complete.
        """
        self._check_fitted()
        files = dict(RESULT_FILES)
        for key, name in names.items():
            if key not in RESULT_FILES:
                raise TypeError(
                    f"write_results() got an unexpected keyword argument {key!r}; "
                    f"the file keys are {', '.join(RESULT_FILES)}"
                )
            if name is not None and not isinstance(name, (str, os.PathLike)):
                raise TypeError(f"{key} must be a file name, a path or None, not {type(name).__name__}")
            files[key] = name
        if not isinstance(folder, (str, os.PathLike)):
            raise TypeError(f"folder must be a str or a path, not {type(folder).__name__}")
        if not isinstance(dlm, str) or dlm.lower() not in DELIMITERS and dlm not in DELIMITERS:
            raise ValueError(f"dlm {dlm!r} is not a delimiter; use ',', '\\t' or ' ' (or 'comma', 'tab', 'space')")
        delimiter = DELIMITERS.get(dlm, DELIMITERS.get(dlm.lower()))
        paths = {
            key: None if name is None else os.fsencode(os.path.join(os.fspath(folder), os.fspath(name)))
            for key, name in files.items()
        }
        ids, item_names = self._labels()
        messages = []
        try:
            _core.write_results(
                fit=self._fit,
                names=paths,
                ids=ids,
                item_names=item_names,
                delimiter=delimiter,
                threads=_params.threads(self.n_jobs),
                verbose=_params.verbose(self.verbose),
                warnings=messages,
            )
        finally:
            _warn(messages)

    def write_report(self, path, data_name=None, sweep=None):
        """Writes the report: one HTML page with the figures of the analysis.

        Parameters
        ----------
        path : str or os.PathLike
            The page's file; its folder must exist.
        data_name : str or None, default None
            Shown as the data file; None shows "(data frame)". The page lists
            the fit's parameters under their keys, in the order of the
            setting keys. It is not byte-identical to a console report.
        sweep : DataFrame or None, default None
            A rank sweep of the same data and parameters, as ``sweep_ranks``
            returns it: the page gains the section on choosing the number of
            ranks. None: no such section.

        Raises
        ------
        OSError
            The page cannot be written (naming the file).
        """
        self._check_fitted()
        if not isinstance(path, (str, os.PathLike)):
            raise TypeError(f"path must be a str or a path, not {type(path).__name__}")
        if data_name is None:
            data_name = "(data frame)"
        elif not isinstance(data_name, str):
            raise TypeError(f"data_name must be a str or None, not {type(data_name).__name__}")
        rows = None if sweep is None else _sweep_rows(sweep)
        ids, item_names = self._labels()
        messages = []
        try:
            _core.write_report(
                fit=self._fit,
                path=os.fsencode(path),
                ids=ids,
                item_names=item_names,
                data_name=data_name,
                sweep=rows,
                verbose=_params.verbose(self.verbose),
                warnings=messages,
            )
        finally:
            _warn(messages)

    # -- pickling -----------------------------------------------------------

    _STATE = ("_fit", "_index", "_columns")

    def __getstate__(self):
        """The parameters and the fit; the learned attributes are rebuilt from the fit."""
        state = {name: getattr(self, name) for name in _DEFAULTS}
        if hasattr(self, "_fit"):
            state.update({name: getattr(self, name) for name in self._STATE})
        return state

    def __setstate__(self, state):
        self.__dict__.update(state)
        if hasattr(self, "_fit"):
            self._set_attributes()


# The sweep file's columns after the rank count, in its order.
SWEEP_COLUMNS = (
    "method", "seed", "passes", "converged", "loglik_marginal",
    "loglik_model", "loglik_benchmark", "loglik_null", "chisq_model", "chisq_null", "df_model", "df_null",
    "NFI", "RFI", "IFI", "TLI", "CFI", "RMSEA", "AIC", "CAIC", "BIC",
    "weakly_ordinal", "strongly_ordinal", "smallest_rank_share", "rank_score_correlation",
)  # fmt: skip


def _rank_counts(n_ranks):
    """The rank counts of a sweep: ints of 1 or more, ascending, each once."""
    if isinstance(n_ranks, (str, bytes, dict)) or not hasattr(n_ranks, "__iter__"):
        raise TypeError(f"n_ranks must be a sequence of ints, such as range(2, 11), not {type(n_ranks).__name__}")
    counts = sorted({_params.integer(f"n_ranks[{i}]", k, 1, 2**31 - 1) for i, k in enumerate(n_ranks)})
    if not counts:
        raise ValueError("n_ranks holds no rank count; give at least one, such as range(2, 11)")
    return counts


def sweep_ranks(X, n_ranks=range(2, 11), **params):
    """Fits the data at several numbers of ranks, for choosing K.

    Every rank count is estimated as ``LatentRankAnalysis(n_ranks=K,
    **params).fit(X)`` would estimate it (with ``random_state`` None, one
    seed from the clock for all), side by side on ``n_jobs`` workers; the
    bits do not depend on their number. No index decides alone: on large
    data the information criteria keep falling as K grows and RMSEA rises as
    the degrees of freedom shrink; look for where they level off, and for
    ordinal, well-filled ranks.

    Parameters
    ----------
    X : DataFrame or ndarray of shape (N, J)
        Answers as ``LatentRankAnalysis.fit`` takes them.
    n_ranks : iterable of int, default range(2, 11)
        The rank counts, 1 or more each; used ascending, each once.
    **params
        Any other parameter of ``LatentRankAnalysis`` but ``prior`` and
        ``fixed_profile``, which depend on K (ValueError).

    Returns
    -------
    DataFrame
        The console program's sweep file as a table, indexed by the rank
        count ("ranks"): ``method``; ``seed`` (the kept run's; <NA> for
        batch); ``passes``; ``converged`` (batch; <NA> otherwise);
        ``loglik_marginal``; the test file's fit values ``loglik_model`` to
        ``BIC``, each as a single fit with that K gives it in
        ``test_statistics_``; ``weakly_ordinal``, ``strongly_ordinal``;
        ``smallest_rank_share`` (the smallest latent rank distribution over
        the examinees with a response); ``rank_score_correlation`` (Pearson's
        r of rank and score over them; NaN where either does not vary).
    """
    for name in ("prior", "fixed_profile"):
        if params.get(name) is not None:
            raise ValueError(f"sweep_ranks() cannot use {name}: it depends on the number of ranks; leave it None")
    estimator = LatentRankAnalysis()
    try:
        estimator.set_params(**params)
    except ValueError:
        unknown = [name for name in params if name not in _DEFAULTS]
        raise TypeError(
            f"sweep_ranks() got an unexpected keyword argument {unknown[0]!r}; "
            f"the parameters are those of LatentRankAnalysis"
        ) from None
    counts = _rank_counts(n_ranks)
    options = estimator._options()
    del options["nranks"]
    data = _data.responses(X, options["threads"] or _data.available_processors())
    item_use = _params.item_use(estimator.item_use, data)

    # The runs of a sweep tell nothing of their own: what a single fit would
    # warn of its restarts is told here once.
    messages = []
    if options["restarts"] > 1:
        if options["method"] == "batch":
            messages.append('Parameter "restarts" has no effect on the batch method.')
        elif options["seed"] > 0 and options["seed"] + options["restarts"] - 1 > _params.MOST_SEED:
            messages.append(f'Parameter "restarts" is reduced to {_params.MOST_SEED - options["seed"] + 1}.')
    try:
        rows = _core.sweep(codes=data.codes, rank_counts=counts, item_use=item_use, warnings=messages, **options)
    finally:
        _warn(messages)
    ranks = [row[0] for row in rows]
    columns = list(zip(*(row[1:] for row in rows)))
    frame = {}
    for name, values in zip(SWEEP_COLUMNS, columns):
        if name == "method":
            frame[name] = pd.array(values, dtype=object)
        elif name in ("seed", "passes"):
            frame[name] = pd.array(values, dtype="Int64") if None in values else np.array(values, dtype=np.int64)
        elif name == "converged":
            frame[name] = pd.array(values, dtype="boolean")
        elif name in ("weakly_ordinal", "strongly_ordinal"):
            frame[name] = np.array(values, dtype=bool)
        else:
            frame[name] = np.array(values, dtype=np.float64)
    return pd.DataFrame(frame, index=pd.Index(ranks, dtype=np.int64, name="ranks"))


def _sweep_rows(sweep):
    """The rows of a sweep_ranks table as the engine's sweep rows."""
    if not isinstance(sweep, pd.DataFrame):
        raise TypeError(f"sweep must be the DataFrame of sweep_ranks or None, not {type(sweep).__name__}")
    missing = [name for name in SWEEP_COLUMNS if name not in sweep.columns]
    if missing:
        raise ValueError(f"sweep lacks the columns {', '.join(missing)}; give the DataFrame of sweep_ranks")
    rows = []
    for K, row in zip(sweep.index, sweep.loc[:, list(SWEEP_COLUMNS)].itertuples(index=False)):
        values = [None if v is pd.NA else v for v in row]
        try:
            values = [_params.integer("sweep's index", K, 1, 2**31 - 1), *values]
            rows.append(
                (
                    values[0],
                    str(values[1]),
                    None if values[2] is None else int(values[2]),
                    int(values[3]),
                    None if values[4] is None else bool(values[4]),
                    *(float(v) for v in values[5:22]),
                    bool(values[22]),
                    bool(values[23]),
                    float(values[24]),
                    float(values[25]),
                )
            )
        except (TypeError, ValueError) as error:
            raise ValueError(f"sweep's row for K = {K!r} is not a row of sweep_ranks: {error}") from None
    return rows
