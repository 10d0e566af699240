# The R package's speed figure, on a 1,000,000 x 100 integer matrix (2 %
# missing; batch, K = 10, 10 passes (diffcrit 0), every processor): medians of 5
# interleaved runs of the conversion of the matrix, of lra() (which converts
# it too) and of the C++ analyze() on the same table in a process of its own.
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

runs <- matrix(NA_real_, 5L, 3L, dimnames = list(NULL, c("conversion", "lra", "analyze")))
for (run in 1:5) {
  gc()
  runs[run, "conversion"] <- system.time(tavrel:::.encode_responses(x, N, NULL, 0L))[["elapsed"]]
  gc()
  runs[run, "lra"] <- system.time(fit <- suppressWarnings(lra(x, nranks = K, method = "batch",
                                                             maxiter = passes, diffcrit = 0)))[["elapsed"]]
  stopifnot(fit$passes == passes)
  rm(fit)
  gc()
  out <- system2(args[1], c(codes, N, J, K, "batch", passes, 0), stdout = TRUE)
  stopifnot(as.integer(strsplit(out, " ")[[1]][2]) == passes)
  runs[run, "analyze"] <- as.numeric(strsplit(out, " ")[[1]][1])
}
print(runs)
m <- apply(runs, 2L, median)
cat(sprintf("medians: conversion %.3f s, lra() %.3f s, lra() minus conversion %.3f s, C++ analyze %.3f s; ratio %.3f\n",
            m[["conversion"]], m[["lra"]], m[["lra"]] - m[["conversion"]], m[["analyze"]],
            (m[["lra"]] - m[["conversion"]]) / m[["analyze"]]))
unlink(codes)
