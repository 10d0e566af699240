"""The package writes the console program's files byte for byte: an array
as fixed-column data without ids, a DataFrame as CSV with ids and names, for
every method, with and without a fixed profile, a prior and item use, on 1,
2 and 3 threads."""

import numpy as np
import pandas as pd
import pytest

import tavrel
from conftest import METHODS, RESULT_FILES, answers, frame, read_files, run_console, write_fixed

K = 4
J = 8
X = answers(N=150, J=J, seed=3)
# Item 6 answered by nobody, an examinee with no answer at all.
X[:, 5] = np.nan
X[10, :] = np.nan
DF = frame(X)

FIXED = np.full((J, K), np.nan)
FIXED[0, :] = [0.1, 0.3, 0.6, 0.9]
FIXED[2, 1] = 0.45
PRIOR = [0.15, 0.25, 0.35, 0.25]
USE = [True, True, True, False, True, True, False, True]

VARIANTS = ["plain", "fixed", "prior", "itemuse", "all"]


def python_options(variant, kind):
    options = {}
    if variant in ("fixed", "all"):
        if kind == "frame":
            # Only the rows and ranks that hold a fixed cell, aligned by name.
            partial = pd.DataFrame(FIXED[[0, 2], :], index=["q1", "q3"], columns=range(1, K + 1))
            options["fixed_profile"] = partial.loc[:, [2, 1, 3, 4]]
        else:
            options["fixed_profile"] = FIXED
    if variant in ("prior", "all"):
        options["prior"] = PRIOR
    if variant in ("itemuse", "all"):
        options["item_use"] = [name for name, use in zip(DF.columns, USE) if use] if kind == "frame" else USE
    return options


def console_settings(variant, folder):
    settings = {}
    if variant in ("fixed", "all"):
        lines = ["item," + ",".join(str(k + 1) for k in range(K))]
        for j in range(J):
            if not np.isnan(FIXED[j]).all():
                lines.append(f"{j + 1}," + ",".join("*" if np.isnan(v) else repr(v) for v in FIXED[j]))
        (folder / "fixed.csv").write_text("\n".join(lines) + "\n")
        settings["fixedfile"] = "fixed.csv"
    if variant in ("prior", "all"):
        settings["prior"] = ", ".join(map(repr, PRIOR))
    if variant in ("itemuse", "all"):
        settings["itemuse"] = "".join("1" if u else "0" for u in USE)
    return settings


@pytest.fixture(scope="module")
def console(binary, tmp_path_factory):
    """The console program's files for (method, variant, kind), made once."""
    made = {}

    def files(method, variant, kind):
        if (method, variant, kind) not in made:
            folder = tmp_path_factory.mktemp(f"console-{method}-{variant}-{kind}")
            if kind == "array":
                write_fixed(folder / "data.txt", X)
                settings = {"infile": "data.txt"}
            else:
                DF.to_csv(folder / "data.csv", index_label="id")
                settings = {"infile": "data.csv", "dataformat": "csv", "idbegin": 1}
            settings.update(nranks=K, method=method, seed=11, maxiter=15, threads=1)
            settings.update(console_settings(variant, folder))
            settings.update(RESULT_FILES)
            run_console(binary, folder, settings)
            made[method, variant, kind] = read_files(folder)
        return made[method, variant, kind]

    return files


@pytest.mark.parametrize("n_jobs", [1, 2, 3])
@pytest.mark.parametrize("kind", ["array", "frame"])
@pytest.mark.parametrize("variant", VARIANTS)
@pytest.mark.parametrize("method", METHODS)
def test_result_files_are_the_console_programs(console, tmp_path, method, variant, kind, n_jobs):
    data = X if kind == "array" else DF
    lra = tavrel.LatentRankAnalysis(
        K, method, random_state=11, max_iter=15, n_jobs=n_jobs, **python_options(variant, kind)
    )
    with np.errstate(all="ignore"):
        lra.fit(data)
    lra.write_results(tmp_path)
    expected = console(method, variant, kind)
    written = read_files(tmp_path)
    different = [name for name in RESULT_FILES.values() if written[name] != expected[name]]
    assert different == []


def test_renamed_and_omitted_files_and_another_delimiter(binary, tmp_path):
    folder = tmp_path / "console"
    folder.mkdir()
    write_fixed(folder / "data.txt", X)
    run_console(
        binary,
        folder,
        {"infile": "data.txt", "nranks": K, "seed": 5, "maxiter": 10, "dlm": "tab", "outfile": "profile.tsv",
         "examineefile": "people.tsv"},
    )
    lra = tavrel.LatentRankAnalysis(K, random_state=5, max_iter=10).fit(X)
    names = {key: None for key in RESULT_FILES}
    names.update(outfile="profile.tsv", examineefile="people.tsv")
    (tmp_path / "package").mkdir()
    lra.write_results(tmp_path / "package", dlm="\t", **names)
    assert sorted(p.name for p in (tmp_path / "package").iterdir()) == ["people.tsv", "profile.tsv"]
    for name in ["profile.tsv", "people.tsv"]:
        assert (tmp_path / "package" / name).read_bytes() == (folder / name).read_bytes()
