# Choosing K and trusting a run: restarts, the marginal log-likelihood as
# logLik (AIC, BIC) and the rank sweep, against single fits and the console
# program.

K <- 4L
x <- answers(N = 120, J = 7, seed = 5)
x[8, ] <- NA  # an examinee without any answer
frame <- answer_frame(x)
sweep_columns <- c("ranks", "method", "seed", "passes", "converged", "loglik_marginal", "loglik_model",
                   "loglik_benchmark", "loglik_null", "chisq_model", "chisq_null", "df_model", "df_null", "NFI",
                   "RFI", "IFI", "TLI", "CFI", "RMSEA", "AIC", "CAIC", "BIC", "weakly_ordinal", "strongly_ordinal",
                   "smallest_rank_share", "rank_score_correlation")

# The console program on `frame` (as write.csv writes it) with its nine
# files; returns list(folder, messages). The caller removes the folder.
console_run <- function(...) {
  folder <- new_folder()
  utils::write.csv(frame, file.path(folder, "data.csv"))
  settings <- list(infile = "data.csv", dataformat = "csv", nranks = K, maxiter = 12)
  given <- list(...)
  settings[names(given)] <- given
  settings <- c(settings, as.list(result_files))
  list(folder = folder, messages = run_console(folder, settings))
}

files_of <- function(fit) {
  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  write_results(fit, folder)
  read_bytes(folder)
}

for (method in c("ml", "bayes", "ls")) {
  test_that(paste("restarts under", method, "keep the best run, which is a single fit with its seed and the console's"), {
    fit <- lra(frame, nranks = K, method = method, seed = 20, restarts = 5, maxiter = 12, threads = 2)
    runs <- fit$restarts
    expect_identical(names(runs)[1:3], c("seed", "loglik_marginal", "kept"))
    expect_identical(runs$seed, 20:24)
    expect_identical(sum(runs$kept), 1L)
    kept <- which(runs$kept)
    expect_identical(kept, which.max(runs$loglik_marginal))  # the first of equal ones
    expect_identical(fit$seed, runs$seed[kept])
    expect_identical(fit$loglik_marginal, runs$loglik_marginal[kept])
    expect_identical(runs$same_rank_share[kept], 1)

    single <- lra(frame, nranks = K, method = method, seed = fit$seed, maxiter = 12)
    expect_null(single$restarts)
    expect_identical(single$loglik_marginal, fit$loglik_marginal)
    expect_identical(files_of(single), files_of(fit))

    console_binary()
    console <- console_run(method = method, seed = 20, restarts = 5, threads = 1)
    on.exit(unlink(console$folder, recursive = TRUE))
    expect_identical(files_of(fit), read_bytes(console$folder))
    expect_true(any(grepl(sprintf("Restart %d of 5 (seed %d) has the largest log-likelihood", kept, fit$seed),
                          console$messages, fixed = TRUE)))
  })
}

test_that("restarts are checked, warn as the console does, and show in print, summary and the report", {
  expect_warning(batch <- lra(frame, nranks = K, method = "batch", restarts = 3, maxiter = 200),
                 '"restarts" has no effect on the batch method')
  expect_null(batch$restarts)
  expect_null(batch$seed)
  expect_identical(lra(frame, nranks = K, method = "batch", maxiter = 200)$loglik_marginal, batch$loglik_marginal)
  expect_warning(near <- lra(frame, nranks = K, seed = 2147483646, restarts = 4, maxiter = 3),
                 '"restarts" is reduced to 2')
  expect_identical(near$restarts$seed, c(2147483646L, 2147483647L))
  for (few in c(0, -3)) expect_null(lra(frame, nranks = K, seed = 3, restarts = few, maxiter = 3)$restarts)
  expect_error(lra(frame, restarts = 1.5), "restarts must be a whole number")
  expect_error(lra(frame, restarts = "2"), "restarts must be a whole number")

  # A clock seed: the runs count on from it, and the kept seed repeats the fit.
  clock <- lra(frame, nranks = K, restarts = 2, maxiter = 3)
  expect_identical(clock$restarts$seed, clock$restarts$seed[1L] + 0:1)
  expect_identical(lra(frame, nranks = K, seed = clock$seed, maxiter = 3)$profile, clock$profile)

  fit <- lra(frame, nranks = K, seed = 3, restarts = 3, maxiter = 8)
  kept <- which(fit$restarts$kept)
  shown <- capture.output(print(fit))
  expect_match(shown[3], sprintf("^Restarts: 3 runs with seeds 3 to 5; run %d \\(seed %d\\) kept", kept, fit$seed))
  expect_false(any(grepl("Restarts", capture.output(print(lra(frame, nranks = K, seed = 3, maxiter = 8))))))
  shown <- capture.output(print(summary(fit)))
  expect_true("Restarts:" %in% shown)
  expect_true(any(grepl(sprintf("seed %d;", fit$seed), shown)))

  path <- tempfile(fileext = ".rds")
  saveRDS(fit, path)
  expect_identical(readRDS(path), fit)
  page <- tempfile(fileext = ".html")
  on.exit(unlink(c(path, page)))
  write_report(fit, page)
  text <- paste(readLines(page, encoding = "UTF-8"), collapse = "\n")
  expect_match(text, 'id="restarts"', fixed = TRUE)
})

# The marginal log-likelihood by hand: log sum over k of prior(k) times the
# likelihood of the examinee's answers at rank k, over the examinees with
# answers to the items in use.
marginal_by_hand <- function(fit, data) {
  p <- fit$profile
  use <- !is.na(p[, 1L])
  prior <- rep(1 / ncol(p), ncol(p))
  total <- 0
  for (i in seq_len(nrow(data))) {
    u <- unlist(data[i, ])
    seen <- !is.na(u) & use
    if (!any(seen)) next
    l <- colSums(u[seen] * log(p[seen, , drop = FALSE]) + (1 - u[seen]) * log(1 - p[seen, , drop = FALSE]))
    top <- max(l)
    total <- total + top + log(sum(prior * exp(l - top)))
  }
  total
}

test_that("logLik is the marginal log-likelihood with the learned cells as df; AIC and BIC follow", {
  use <- c(TRUE, TRUE, FALSE, TRUE, TRUE, TRUE, TRUE)
  fixed <- matrix(NA_real_, 7, K)
  fixed[2, 1:2] <- c(0.1, 0.2)
  fixed[3, 1] <- 0.3  # an item out of use: its cells are no parameters
  for (method in c("ml", "bayes", "ls", "batch")) {
    fit <- suppressWarnings(lra(frame, nranks = K, method = method, seed = 9, maxiter = 40, itemuse = use,
                                fixed = fixed))
    ll <- logLik(fit)
    expect_s3_class(ll, "logLik")
    expect_identical(as.numeric(ll), fit$loglik_marginal)
    expect_equal(as.numeric(ll), marginal_by_hand(fit, frame), tolerance = 1e-10)
    expect_identical(attr(ll, "nobs"), 119L)  # one examinee has no answer
    expect_identical(nobs(fit), 119L)
    # The parameters are what the test's df_model subtracts from each item's G
    # groups, which df_null (G - 1 per item) shows.
    test <- fit$test
    expect_equal(attr(ll, "df"), test$df_null - test$df_model + test$items, tolerance = 1e-12)
    if (method != "batch") expect_identical(attr(ll, "df"), 6 * K - 2)
    else expect_lt(attr(ll, "df"), 6 * K - 2)  # the filter shares a cell's weight with its neighbours
    expect_identical(AIC(fit), -2 * as.numeric(ll) + 2 * attr(ll, "df"))
    expect_identical(BIC(fit), -2 * as.numeric(ll) + log(119) * attr(ll, "df"))
    expect_false(isTRUE(all.equal(AIC(fit), test$AIC)))  # the test file's AIC is the chi-square's
  }
  expect_error(logLik(structure(list(), class = "tavrel_lra")), "fit must be the result of lra()")
})

for (method in c("ml", "batch")) {
  test_that(paste("the rows of a sweep under", method, "are single fits and the console's sweep file"), {
    options <- list(method = method, seed = 31, maxiter = 12, restarts = if (method == "ml") 2 else 1)
    sweep <- suppressWarnings(do.call(lra_sweep, c(list(frame, nranks = c(5, 2, 3, 3, 1), threads = 2), options)))
    expect_s3_class(sweep, c("tavrel_sweep", "data.frame"), exact = TRUE)
    expect_identical(names(sweep), sweep_columns)
    expect_identical(sweep$ranks, c(1L, 2L, 3L, 5L))
    fit_rows <- sweep_columns[7:22]
    for (r in seq_len(nrow(sweep))) {
      single <- suppressWarnings(do.call(lra, c(list(frame, nranks = sweep$ranks[r]), options)))
      expect_identical(unlist(sweep[r, fit_rows]), unlist(single$test[fit_rows]), label = paste("K", sweep$ranks[r]))
      expect_identical(sweep$loglik_marginal[r], single$loglik_marginal)
      expect_identical(sweep$passes[r], single$passes)
      expect_identical(sweep$weakly_ordinal[r], single$test$weakly_ordinal)
      expect_identical(sweep$strongly_ordinal[r], single$test$strongly_ordinal)
      if (method == "batch") {
        expect_identical(sweep$seed[r], NA_integer_)
        expect_identical(sweep$converged[r], single$converged)
      } else {
        expect_identical(sweep$seed[r], single$seed)
        expect_identical(sweep$converged[r], NA)
      }
      expect_equal(sweep$smallest_rank_share[r], min(single$rank_statistics$latent_rank_distribution) / 119)
    }

    console_binary()
    console <- console_run(method = method, nranks = 2, seed = 31, restarts = options$restarts,
                           ranksweep = "1-3, 5", sweepfile = "sweep.csv", dlm = "tab")
    on.exit(unlink(console$folder, recursive = TRUE))
    mine <- file.path(console$folder, "mine.csv")
    expect_identical(write_sweep(sweep, mine, dlm = "tab"), mine)
    expect_identical(read_bytes(console$folder, "mine.csv")[[1]], read_bytes(console$folder, "sweep.csv")[[1]])
    # The file read back holds the same values (written to six digits).
    back <- utils::read.delim(file.path(console$folder, "sweep.csv"))
    expect_identical(names(back), sweep_columns)
    expect_equal(back$loglik_marginal, sweep$loglik_marginal, tolerance = 1e-5)
  })
}

test_that("a sweep is checked as lra() is and refuses what depends on K", {
  expect_error(lra_sweep(x, prior = c(0.5, 0.5)), "lra_sweep\\(\\) cannot use prior: it depends on the number of ranks")
  expect_error(lra_sweep(x, fixed = matrix(NA_real_, 7, 2)), "cannot use fixed")
  expect_error(lra_sweep(x, K = 3), "lra_sweep\\(\\) has no argument K; it takes lra\\(\\)'s arguments")
  expect_error(lra_sweep(x, 2:3, "batch"), "give lra\\(\\)'s other arguments by name")
  expect_error(lra_sweep(x, seed = 1, seed = 2), "seed is given twice")
  expect_error(lra_sweep(x, nranks = integer()), "nranks must be whole numbers of 1 or more")
  expect_error(lra_sweep(x, nranks = c(2, 0)), "nranks must be whole numbers of 1 or more")
  expect_error(lra_sweep(x, nranks = "3"), "nranks must be whole numbers of 1 or more")
  expect_error(lra_sweep(x, method = "nope"), 'method must be "ml", "bayes", "ls" or "batch"')
  expect_error(lra_sweep(x, itemuse = rep(FALSE, 7)), "no item in use")
  expect_warning(lra_sweep(x, nranks = 2, method = "batch", restarts = 2, maxiter = 300),
                 '"restarts" has no effect on the batch method')
  expect_warning(lra_sweep(x, nranks = 2, seed = 2147483647, restarts = 3, maxiter = 2), '"restarts" is reduced to 1')
  # One clock seed for every rank count.
  clock <- lra_sweep(x, nranks = 2:3, maxiter = 2)
  expect_identical(clock$seed[1L], clock$seed[2L])
})

test_that("a sweep prints what each index favours, plots, and goes into the report", {
  sweep <- lra_sweep(frame, nranks = 2:5, seed = 4, maxiter = 6)
  shown <- capture.output(print(sweep))
  expect_match(shown[1], "^Rank sweep: K = 2, 3, 4, 5; method ml, seed 4$")
  for (index in c("AIC", "CAIC", "BIC", "RMSEA")) {
    k <- sweep$ranks[which.min(sweep[[index]])]
    expect_true(sprintf("%s favours K = %d (its smallest value).", index, k) %in% shown)
  }
  for (index in c("CFI", "TLI")) {
    k <- sweep$ranks[which.max(sweep[[index]])]
    expect_true(sprintf("%s favours K = %d (its largest value).", index, k) %in% shown)
  }
  # Ties go to the lowest K, NA is skipped, and an index all NA says so.
  odd <- sweep
  odd$AIC <- c(NA, 5, 5, 7)
  odd$CFI <- c(0.9, 0.95, 0.95, NA)
  odd$RMSEA <- NA_real_
  shown <- capture.output(print(odd))
  expect_true(all(c("AIC favours K = 3 (its smallest value).", "CFI favours K = 3 (its largest value).",
                    "RMSEA is NA at every K.") %in% shown))

  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  grDevices::png(file.path(folder, "sweep.png"), width = 600, height = 240, type = "cairo")
  plot(sweep)
  grDevices::dev.off()
  pixels <- read_png(file.path(folder, "sweep.png"))
  ink <- colSums(pixels[1:3, , , drop = FALSE] < 200, dims = 1)
  expect_gt(mean(ink > 0), 0.03)
  expect_true(any(pixels[3, , ] > 150 & pixels[1, , ] < 50))  # the blue lines

  fit <- lra(frame, nranks = 3, seed = 4, maxiter = 6)
  page <- file.path(folder, "report.html")
  write_report(fit, page, sweep = sweep)
  text <- paste(readLines(page, encoding = "UTF-8"), collapse = "\n")
  expect_match(text, 'id="sweep"', fixed = TRUE)
  expect_match(text, "Choosing the number of ranks", fixed = TRUE)
  write_report(fit, page)
  expect_false(grepl('id="sweep"', paste(readLines(page, encoding = "UTF-8"), collapse = "\n"), fixed = TRUE))
  expect_error(write_report(fit, page, sweep = list(1, 2)), "sweep must be the result of lra_sweep\\(\\), not list")
  expect_error(write_report(fit, page, sweep = sweep[, -20]), "sweep lacks the columns AIC")
  expect_error(write_report(fit, page, sweep = sweep[4:1, ]), "sweep's column ranks must be rank counts")
  expect_error(write_sweep(sweep, file.path(folder, "no", "sweep.csv")), "cannot write the file")
  expect_error(write_sweep(sweep, "x.csv", dlm = ";"), "dlm must be")
})
