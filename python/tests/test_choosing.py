"""Choosing K and trusting a run: restarts (n_init), the marginal
log-likelihood (score, score_samples, loglik_marginal_) and the rank sweep,
against the console program and single fits."""

import pickle

import numpy as np
import pandas as pd
import pytest

import tavrel
from conftest import RESULT_FILES, answers, frame, read_files, run_console, write_fixed

K = 4
X = answers(N=120, J=7, seed=5)
X[7, :] = np.nan  # an examinee without any answer
DF = frame(X)
FIT_FIELDS = [
    "loglik_model", "loglik_benchmark", "loglik_null", "chisq_model", "chisq_null", "df_model", "df_null",
    "NFI", "RFI", "IFI", "TLI", "CFI", "RMSEA", "AIC", "CAIC", "BIC",
]  # fmt: skip


def same(a, b):
    """Equal to the bit, NaN equal to NaN."""
    return (isinstance(a, float) and isinstance(b, float) and np.isnan(a) and np.isnan(b)) or a == b


def console_run(binary, folder, **settings):
    folder.mkdir()
    DF.to_csv(folder / "data.csv", index_label="id")
    settings = {"infile": "data.csv", "dataformat": "csv", "idbegin": 1, "nranks": K, "maxiter": 12, **settings}
    return run_console(binary, folder, {**settings, **RESULT_FILES})


@pytest.mark.parametrize("method", ["ml", "bayes", "ls"])
def test_n_init_keeps_the_best_run_which_is_a_single_fit_with_its_seed(binary, tmp_path, method):
    lra = tavrel.LatentRankAnalysis(K, method, random_state=20, n_init=5, max_iter=12, n_jobs=2).fit(DF)
    runs = lra.restarts_
    assert list(runs.columns[:3]) == ["seed", "loglik_marginal", "kept"]
    assert list(runs["seed"]) == [20, 21, 22, 23, 24]
    assert runs["kept"].sum() == 1
    kept = runs.index[runs["kept"]][0]
    assert kept == runs["loglik_marginal"].idxmax()  # the first of equal ones
    assert lra.seed_ == runs.loc[kept, "seed"]
    assert lra.loglik_marginal_ == runs.loc[kept, "loglik_marginal"]
    assert runs.loc[kept, "same_rank_share"] == 1.0

    single = tavrel.LatentRankAnalysis(K, method, random_state=lra.seed_, max_iter=12).fit(DF)
    assert single.restarts_ is None
    assert single.loglik_marginal_ == lra.loglik_marginal_
    (tmp_path / "restarts").mkdir()
    (tmp_path / "single").mkdir()
    lra.write_results(tmp_path / "restarts")
    single.write_results(tmp_path / "single")
    assert read_files(tmp_path / "restarts") == read_files(tmp_path / "single")

    log = console_run(binary, tmp_path / "console", method=method, seed=20, restarts=5, threads=1)
    assert read_files(tmp_path / "console") == read_files(tmp_path / "restarts")
    assert f"Restart {kept} of 5 (seed {lra.seed_}) has the largest log-likelihood" in log


def test_n_init_under_batch_warns_and_runs_once(tmp_path):
    with pytest.warns(tavrel.TavrelWarning, match='"restarts" has no effect on the batch method'):
        lra = tavrel.LatentRankAnalysis(K, "batch", n_init=3, max_iter=200).fit(DF)
    assert lra.restarts_ is None
    single = tavrel.LatentRankAnalysis(K, "batch", max_iter=200).fit(DF)
    assert single.loglik_marginal_ == lra.loglik_marginal_
    assert np.array_equal(single.profile_.to_numpy(), lra.profile_.to_numpy(), equal_nan=True)


def test_n_init_is_checked_and_survives_pickling_and_the_report(tmp_path):
    with pytest.raises(ValueError, match="n_init must be from 1"):
        tavrel.LatentRankAnalysis(K, n_init=0).fit(DF)
    with pytest.raises(TypeError, match="n_init must be an int"):
        tavrel.LatentRankAnalysis(K, n_init=2.0).fit(DF)
    with pytest.warns(tavrel.TavrelWarning, match='"restarts" is reduced to 2'):
        near = tavrel.LatentRankAnalysis(K, random_state=2147483646, n_init=4, max_iter=3).fit(DF)
    assert list(near.restarts_["seed"]) == [2147483646, 2147483647]

    lra = tavrel.LatentRankAnalysis(K, random_state=3, n_init=3, max_iter=8).fit(DF)
    back = pickle.loads(pickle.dumps(lra))
    pd.testing.assert_frame_equal(back.restarts_, lra.restarts_)
    assert back.loglik_marginal_ == lra.loglik_marginal_
    back.write_report(tmp_path / "report.html")
    page = (tmp_path / "report.html").read_text()
    assert 'id="restarts"' in page
    assert "restarts" in page and ">3<" in page


def marginal_by_hand(profile, prior, X):
    """log sum_k prior(k) prod_j p^u (1 - p)^(1 - u), the zero-prior ranks left out; NaN without answers."""
    out = np.full(X.shape[0], np.nan)
    log_prior = np.log(np.where(np.asarray(prior) > 0, prior, 1.0))
    for i, row in enumerate(X):
        seen = ~np.isnan(row) & ~np.isnan(profile[:, 0])
        if not seen.any():
            continue
        u, p = row[seen][:, None], profile[seen, :]
        terms = log_prior + (u * np.log(p) + (1 - u) * np.log(1 - p)).sum(axis=0)
        kept = terms[np.asarray(prior) > 0]
        m = kept.max()
        out[i] = m + np.log(np.exp(kept - m).sum())
    return out


@pytest.mark.parametrize("method", ["ml", "bayes", "ls", "batch"])
def test_score_samples_is_the_marginal_log_likelihood(method):
    prior = [0.4, 0.0, 0.35, 0.25]
    use = [True, True, False, True, True, True, True]
    lra = tavrel.LatentRankAnalysis(K, method, random_state=9, max_iter=300, prior=prior, item_use=use).fit(DF)
    samples = lra.score_samples(DF)
    assert isinstance(samples, pd.Series) and samples.index.equals(DF.index)
    # The prior as given, under every method.
    expected = marginal_by_hand(lra.profile_.to_numpy(), prior, X)
    np.testing.assert_allclose(samples.to_numpy(), expected, rtol=1e-12, equal_nan=True)
    assert np.isnan(samples.iloc[7])

    # The fit's value is their sum in examinee order; score is its mean.
    answered = samples.dropna().to_numpy()
    assert float(np.cumsum(answered)[-1]) == lra.loglik_marginal_
    assert lra.score(DF) == lra.loglik_marginal_ / answered.size

    # Columns matched by name; an array gives an array.
    shuffled = DF.iloc[:, ::-1]
    pd.testing.assert_series_equal(lra.score_samples(shuffled), samples)
    assert np.array_equal(lra.score_samples(X), samples.to_numpy(), equal_nan=True)
    # An examinee answering only the item out of use takes no part.
    only_unused = np.full((2, X.shape[1]), np.nan)
    only_unused[0, 2] = 1.0
    only_unused[1, :2] = [1.0, 0.0]
    values = lra.score_samples(only_unused)
    assert np.isnan(values[0]) and np.isfinite(values[1])
    assert lra.score(only_unused) == values[1]
    assert np.isnan(lra.score(np.full((1, X.shape[1]), np.nan)))


def test_score_errors():
    lra = tavrel.LatentRankAnalysis(K, random_state=1, max_iter=5)
    with pytest.raises(tavrel.NotFittedError):
        lra.score(DF)
    lra.fit(DF)
    with pytest.raises(ValueError, match="lacks the fit's items"):
        lra.score_samples(DF.drop(columns="q2"))
    with pytest.raises(ValueError, match="has 6 columns"):
        lra.score(X[:, :6])
    with pytest.raises(ValueError, match="at row"):
        lra.score(np.full((2, X.shape[1]), 2.0))


@pytest.mark.filterwarnings("ignore::tavrel.ConvergenceWarning")
@pytest.mark.parametrize("method", ["ml", "batch"])
def test_sweep_rows_are_single_fits(binary, tmp_path, method):
    options = dict(method=method, random_state=31, max_iter=12, n_init=2 if method == "ml" else 1, n_jobs=3)
    sweep = tavrel.sweep_ranks(DF, n_ranks=[5, 2, 3, 3, 1], **options)
    assert list(sweep.index) == [1, 2, 3, 5] and sweep.index.name == "ranks"
    for k in sweep.index:
        single = tavrel.LatentRankAnalysis(k, **options).fit(DF)
        row = sweep.loc[k]
        stats = single.test_statistics_
        for name in FIT_FIELDS:
            assert same(float(row[name]), float(stats[name])), (k, name)
        assert row["loglik_marginal"] == single.loglik_marginal_
        assert row["passes"] == single.n_iter_
        if method == "batch":
            assert pd.isna(row["seed"]) and row["converged"] == single.converged_
        else:
            assert row["seed"] == single.seed_ and pd.isna(row["converged"])
        for name in ("weakly_ordinal", "strongly_ordinal"):
            assert row[name] == stats[name], (k, name)

    # The console program's sweep file holds the same rows (written with 6 digits).
    settings = {k: v for k, v in options.items() if k not in ("random_state", "n_init", "max_iter", "n_jobs")}
    console_run(binary, tmp_path / "console", nranks=2, seed=31, maxiter=12, restarts=options["n_init"],
                ranksweep="1-3, 5", sweepfile="sweep.csv", **settings)
    written = pd.read_csv(tmp_path / "console" / "sweep.csv", index_col="ranks", keep_default_na=True)
    assert list(written.columns) == list(sweep.columns)
    assert written.index.tolist() == sweep.index.tolist()
    for name in sweep.columns:
        ours, theirs = sweep[name], written[name]
        if name in ("method",):
            assert ours.tolist() == theirs.tolist()
        elif name in ("converged", "weakly_ordinal", "strongly_ordinal"):
            assert [None if pd.isna(v) else ("yes" if v else "no") for v in ours] == [
                None if pd.isna(v) else v for v in theirs
            ]
        else:
            np.testing.assert_allclose(ours.astype(float), theirs.astype(float), rtol=6e-6, equal_nan=True)


def test_sweep_in_the_report_and_errors(tmp_path):
    sweep = tavrel.sweep_ranks(X, n_ranks=range(2, 5), random_state=4, max_iter=6)
    lra = tavrel.LatentRankAnalysis(3, random_state=4, max_iter=6).fit(X)
    lra.write_report(tmp_path / "report.html", sweep=sweep)
    page = (tmp_path / "report.html").read_text()
    assert 'id="sweep"' in page and "Choosing the number of ranks" in page
    with pytest.raises(TypeError, match="sweep must be the DataFrame"):
        lra.write_report(tmp_path / "r.html", sweep=[1, 2])
    with pytest.raises(ValueError, match="lacks the columns"):
        lra.write_report(tmp_path / "r.html", sweep=sweep.drop(columns="AIC"))

    with pytest.raises(ValueError, match="cannot use prior"):
        tavrel.sweep_ranks(X, prior=[0.5, 0.5])
    with pytest.raises(ValueError, match="cannot use fixed_profile"):
        tavrel.sweep_ranks(X, fixed_profile=np.full((7, 2), np.nan))
    with pytest.raises(TypeError, match="unexpected keyword argument 'nrank'"):
        tavrel.sweep_ranks(X, nrank=3)
    with pytest.raises(TypeError, match="n_ranks must be a sequence of ints"):
        tavrel.sweep_ranks(X, n_ranks=3)
    with pytest.raises(ValueError, match="holds no rank count"):
        tavrel.sweep_ranks(X, n_ranks=[])
    with pytest.raises(ValueError, match=r"n_ranks\[1\] must be from 1"):
        tavrel.sweep_ranks(X, n_ranks=[2, 0])
    with pytest.raises(ValueError, match="method 'nope' is unknown"):
        tavrel.sweep_ranks(X, method="nope")
    with pytest.warns(tavrel.TavrelWarning, match="no effect on the batch method"):
        tavrel.sweep_ranks(X, n_ranks=[2], method="batch", n_init=2, max_iter=300)
