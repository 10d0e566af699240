"""The estimator: its learned attributes, scoring new data, scikit-learn's
conventions, pickling, concurrent fits and the edge cases of the data."""

import copy
import pickle
import threading
import warnings

import numpy as np
import pandas as pd
import pytest

import tavrel
from conftest import METHODS, RESULT_FILES, answers, frame, read_files

# Fits of a few passes: batch estimation may stop before it converges.
pytestmark = pytest.mark.filterwarnings("ignore::tavrel.ConvergenceWarning")

X = answers(N=120, J=7, seed=5)
DF = frame(X)
FIXED = np.full((7, 3), np.nan)
FIXED[1, :] = [0.2, 0.5, 0.8]


def fitted(method="ml", data=DF, **options):
    options.setdefault("random_state", 3)
    options.setdefault("max_iter", 10)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tavrel.ConvergenceWarning)
        return tavrel.LatentRankAnalysis(3, method, **options).fit(data)


@pytest.mark.parametrize("fixed", [None, FIXED], ids=["learned", "fixed"])
@pytest.mark.parametrize("method", METHODS)
def test_scoring_the_training_data_gives_the_fit(method, fixed):
    lra = fitted(method, fixed_profile=fixed)
    ranks = lra.predict(DF)
    assert ranks.index.equals(DF.index) and ranks.dtype == np.int64
    pd.testing.assert_series_equal(ranks, lra.ranks_)
    pd.testing.assert_frame_equal(lra.predict_proba(DF), lra.memberships_, check_exact=True)
    # An array gives arrays, the same values.
    assert np.array_equal(lra.predict(X), lra.ranks_.to_numpy())
    assert np.array_equal(lra.predict_proba(X), lra.memberships_.to_numpy())


@pytest.mark.parametrize("method", METHODS)
def test_learned_attributes(method):
    lra = fitted(method, item_use=["q1", "q2", "q3", "q5", "q6", "q7"])
    K = 3
    assert list(lra.profile_.index) == list(DF.columns) and list(lra.profile_.columns) == [1, 2, 3]
    assert lra.profile_.loc["q4"].isna().all() and lra.profile_.drop("q4").notna().all().all()
    assert lra.ranks_.between(1, K).all() and lra.ranks_.name == "rank"
    assert lra.memberships_.shape == (len(DF), K) and lra.memberships_.index.equals(DF.index)
    if method == "ls":
        assert lra.distances_.shape == (len(DF), K) and (lra.distances_.to_numpy() >= 0).all()
    else:
        assert lra.distances_ is None
        assert np.allclose(lra.memberships_.sum(axis=1), 1.0)
    stats = lra.test_statistics_
    assert stats["items"] == 6 and stats["ranks"] == K and stats["method"] == method
    assert isinstance(stats["examinees"], int) and isinstance(stats["mean"], float)
    assert isinstance(stats["weakly_ordinal"], bool)
    items = lra.item_statistics_
    assert list(items.index) == list(DF.columns)
    assert items.loc["q4"].isna().all()
    # A count column with NA is nullable, one without stays int64.
    assert items["respondents"].dtype == "Int64" and items["correct_rate"].dtype == np.float64
    ranks = lra.rank_statistics_
    assert list(ranks.index) == [1, 2, 3] and ranks["latent_rank_distribution"].dtype == np.int64
    assert ranks["latent_rank_distribution"].sum() == len(DF)
    people = lra.examinee_statistics_
    assert people.index.equals(DF.index) and "id" not in people.columns
    pd.testing.assert_series_equal(people["rank"], lra.ranks_, check_dtype=False)
    assert lra.n_features_in_ == 7 and list(lra.feature_names_in_) == list(DF.columns)
    if method == "batch":
        assert isinstance(lra.converged_, bool) and len(lra.trace_) == lra.n_iter_
        assert lra.seed_ is None and 0 <= lra.phi_ <= 1
    else:
        assert lra.converged_ is None and len(lra.trace_) == 0 and lra.n_iter_ == 10
        assert lra.seed_ == 3 and lra.phi_ is None


def test_a_fitted_profile_given_as_fixed_profile_is_kept():
    first = fitted("batch", max_iter=50)
    assert first.test_statistics_["weakly_ordinal"]  # the fixed profile's orientation keeps it
    again = fitted("ml", fixed_profile=first.profile_.iloc[::-1, [2, 0, 1]])
    pd.testing.assert_frame_equal(again.profile_, first.profile_, check_exact=True)


def test_seed_from_the_clock_is_reported_and_reproduces_the_fit():
    first = fitted(random_state=None)
    assert 1 <= first.seed_ <= 2147483647
    again = fitted(random_state=first.seed_)
    pd.testing.assert_frame_equal(first.profile_, again.profile_, check_exact=True)


def test_batch_that_stops_at_max_iter_warns_whatever_verbose():
    with pytest.warns(tavrel.ConvergenceWarning, match="max_iter"):
        lra = tavrel.LatentRankAnalysis(3, "batch", max_iter=1, tol=0.0).fit(DF)
    assert lra.converged_ is False
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        tavrel.LatentRankAnalysis(3, "batch", max_iter=200).fit(DF)


def test_verbose_shows_the_console_programs_text(capfd):
    tavrel.LatentRankAnalysis(3, "batch", max_iter=200, verbose=1).fit(X)
    err = capfd.readouterr().err
    assert "tavrel.exe: Note: phi = 0.9.\n" in err
    tavrel.LatentRankAnalysis(3, "batch", max_iter=200).fit(X)
    assert capfd.readouterr().err == ""


def test_parameters_follow_scikit_learn():
    sklearn_base = pytest.importorskip("sklearn.base")
    prior = [0.2, 0.3, 0.5]
    lra = tavrel.LatentRankAnalysis(5, "bayes", prior=prior, learning_rate=(0.5, 0.05), n_jobs=2)
    assert lra.get_params()["prior"] is prior
    twin = sklearn_base.clone(lra)
    assert twin is not lra and twin.get_params() == lra.get_params()
    assert lra.set_params(n_ranks=3, method="ls") is lra and lra.n_ranks == 3
    with pytest.raises(ValueError, match="Invalid parameter 'nranks'"):
        lra.set_params(nranks=3)
    assert repr(tavrel.LatentRankAnalysis(4)) == "LatentRankAnalysis(n_ranks=4)"
    # A clone of a fitted estimator is unfitted.
    assert not hasattr(sklearn_base.clone(fitted()), "profile_")


def test_unfitted_estimator_raises_not_fitted():
    lra = tavrel.LatentRankAnalysis()
    for call in (lambda: lra.predict(X), lambda: lra.predict_proba(X), lambda: lra.write_results(".")):
        with pytest.raises(tavrel.NotFittedError, match="fit"):
            call()


@pytest.mark.parametrize("method", ["ls", "batch"])
def test_pickled_fit_gives_the_same_attributes_and_files(method, tmp_path):
    lra = fitted(method, fixed_profile=FIXED, n_jobs=2)
    copy_ = pickle.loads(pickle.dumps(lra))
    for name in ["profile_", "memberships_", "item_statistics_", "rank_statistics_", "examinee_statistics_"]:
        pd.testing.assert_frame_equal(getattr(copy_, name), getattr(lra, name), check_exact=True)
    pd.testing.assert_series_equal(copy_.test_statistics_, lra.test_statistics_)
    assert copy_.get_params().keys() == lra.get_params().keys()
    (tmp_path / "a").mkdir()
    (tmp_path / "b").mkdir()
    lra.write_results(tmp_path / "a")
    copy_.write_results(tmp_path / "b")
    assert read_files(tmp_path / "a") == read_files(tmp_path / "b")
    lra.write_report(tmp_path / "a" / "report.html")
    copy_.write_report(tmp_path / "b" / "report.html")
    assert (tmp_path / "a" / "report.html").read_bytes() == (tmp_path / "b" / "report.html").read_bytes()
    assert np.array_equal(copy_.predict(X), lra.predict(X))
    # copy.deepcopy takes the same path.
    pd.testing.assert_frame_equal(copy.deepcopy(lra).profile_, lra.profile_)


def test_damaged_pickle_is_refused():
    fit = fitted()._fit
    state, parameters = fit.__getstate__()
    cls = type(fit)
    for damaged in (state[:-5], state[:40] + bytes(len(state) - 40), b"other", state + b"\0"):
        with pytest.raises(ValueError, match="fitted estimator|another build"):
            cls.__new__(cls).__setstate__((damaged, parameters))


def test_two_fits_at_once_in_threads_give_the_fits_of_one_at_a_time():
    data = answers(N=2000, J=20, seed=9)
    alone = [fitted(method, data, n_jobs=2, max_iter=20) for method in ("ml", "batch")]
    together = [None, None]

    def run(i, method):
        together[i] = fitted(method, data, n_jobs=2, max_iter=20)

    threads = [threading.Thread(target=run, args=(i, m)) for i, m in enumerate(("ml", "batch"))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for a, b in zip(alone, together):
        pd.testing.assert_frame_equal(a.profile_, b.profile_, check_exact=True)
        pd.testing.assert_frame_equal(a.memberships_, b.memberships_, check_exact=True)


def test_report_shows_the_data_name_and_the_parameters(tmp_path):
    lra = fitted("batch", prior=[0.2, 0.3, 0.5], phi=0.75)
    lra.write_report(tmp_path / "r.html", data_name="answers <2024>.csv")
    page = (tmp_path / "r.html").read_text()
    assert "answers &lt;2024&gt;.csv" in page
    for key in ("nranks", "method", "prior", "phi"):
        assert f"<code>{key}" in page
    assert page.index("<code>method") < page.index("<code>prior") < page.index("<code>phi")
    fitted().write_report(tmp_path / "s.html")
    assert "(data frame)" in (tmp_path / "s.html").read_text()


# -- the data's edges ------------------------------------------------------


@pytest.mark.parametrize("method", METHODS)
def test_one_rank(method):
    lra = tavrel.LatentRankAnalysis(1, method, max_iter=5).fit(DF)
    assert (lra.ranks_ == 1).all() and np.allclose(lra.memberships_, 1.0)
    assert lra.profile_.shape == (7, 1)


@pytest.mark.parametrize("method", METHODS)
def test_one_examinee_and_one_item(method, tmp_path):
    one = tavrel.LatentRankAnalysis(3, method, random_state=1, max_iter=5).fit(DF.iloc[:1])
    assert one.ranks_.index.equals(DF.index[:1])
    assert one.test_statistics_["examinees"] == 1
    single = tavrel.LatentRankAnalysis(3, method, random_state=1, max_iter=5).fit(DF[["q3"]])
    assert single.profile_.shape == (1, 3) and len(single.ranks_) == len(DF)
    single.write_results(tmp_path)
    single.write_report(tmp_path / "report.html")


@pytest.mark.parametrize("method", METHODS)
def test_every_answer_missing(method, tmp_path):
    empty = pd.DataFrame(np.full((5, 3), np.nan), columns=["a", "b", "c"])
    lra = tavrel.LatentRankAnalysis(2, method, random_state=1, max_iter=5).fit(empty)
    assert lra.test_statistics_["examinees"] == 0
    assert (lra.item_statistics_["respondents"] == 0).all()
    lra.write_results(tmp_path)
    assert set(read_files(tmp_path)) == set(RESULT_FILES.values())


def test_an_item_nobody_answered_and_items_out_of_use():
    data = DF.copy()
    data["q2"] = np.nan
    lra = fitted("ml", data, item_use=[True, True, False, True, True, True, False])
    assert lra.item_statistics_.loc["q2", "respondents"] == 0
    assert np.isnan(lra.item_statistics_.loc["q2", "correct_rate"])
    assert lra.item_statistics_.loc[["q3", "q7"]].isna().all().all()
    assert lra.test_statistics_["items"] == 5
    # Items out of use play no part in scoring new data.
    changed = data.copy()
    changed["q3"] = 1.0 - changed["q3"]
    pd.testing.assert_frame_equal(lra.predict_proba(changed), lra.predict_proba(data), check_exact=True)
