# The R package's speed figure, on a 1,000,000 x 100 integer matrix (2 %
# missing; batch, K = 10, 10 passes (diffcrit 0), every processor): medians of 5
# interleaved runs of the conversion of the matrix, of lra() (which converts
# it too) and of the C++ analyze() on the same table in a process of its own:
# wall time, and processor time of all threads (which other work on a shared
# machine disturbs less).
#
#   Rscript r/tools/bench/lra_speed.R ANALYZE_TIME WORK
# ANALYZE_TIME: analyze_time.cpp built against the library; WORK: a folder
# for the table's file (100 MB).
args <- commandArgs(TRUE)
stopifnot(length(args) == 2L)
library(tavrel)
N <- 1e6L
J <- 100L
K <- 10L
passes <- 10L

set.seed(2026)
ability <- rnorm(N)
x <- matrix(0L, N, J)
for (j in seq_len(J)) x[, j] <- as.integer(runif(N) < plogis(1.7 * (ability - (j - 50.5) / 25)))
x[sample.int(N * J, N * J / 50)] <- NA
codes <- file.path(args[2], "codes.bin")
writeBin(tavrel:::.encode_responses(x, N, NULL, 0L)$value$codes, codes)

cases <- c("conversion", "lra", "analyze")
runs <- matrix(NA_real_, 5L, 6L, dimnames = list(NULL, c(cases, paste(cases, "cpu"))))
timed <- function(expr) {
  start <- proc.time()
  expr
  used <- proc.time() - start
  c(used[["elapsed"]], used[["user.self"]] + used[["sys.self"]])
}
for (run in 1:5) {
  gc()
  runs[run, c(1L, 4L)] <- timed(tavrel:::.encode_responses(x, N, NULL, 0L))
  gc()
  runs[run, c(2L, 5L)] <- timed(fit <- suppressWarnings(lra(x, nranks = K, method = "batch", maxiter = passes,
                                                           diffcrit = 0)))
  stopifnot(fit$passes == passes)
  rm(fit)
  gc()
  out <- as.numeric(strsplit(system2(args[1], c(codes, N, J, K, "batch", passes, 0), stdout = TRUE), " ")[[1]])
  stopifnot(out[2] == passes)
  runs[run, c(3L, 6L)] <- out[c(1L, 3L)]
}
print(runs)
m <- apply(runs, 2L, median)
for (kind in c("", " cpu"))
  cat(sprintf("medians%s: conversion %.3f s, lra() %.3f s, lra() minus conversion %.3f s, C++ analyze %.3f s; ratio %.3f\n",
              kind, m[[paste0("conversion", kind)]], m[[paste0("lra", kind)]],
              m[[paste0("lra", kind)]] - m[[paste0("conversion", kind)]], m[[paste0("analyze", kind)]],
              (m[[paste0("lra", kind)]] - m[[paste0("conversion", kind)]]) / m[[paste0("analyze", kind)]]))
unlink(codes)
