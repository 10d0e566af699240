"""Latent rank analysis of test data.

The tavrel engine for data frames: ``LatentRankAnalysis`` sorts examinees
into ordered latent ranks from their answers (correct, incorrect, missing)
and writes the console program's result files and report;
``sweep_ranks`` fits several numbers of ranks side by side for choosing one;
``read_responses`` reads response data files as the console program does.
"""

from ._core import __version__
from ._estimator import ConvergenceWarning, LatentRankAnalysis, NotFittedError, TavrelWarning, sweep_ranks
from ._files import read_responses

__all__ = [
    "ConvergenceWarning",
    "LatentRankAnalysis",
    "NotFittedError",
    "TavrelWarning",
    "__version__",
    "read_responses",
    "sweep_ranks",
]
