# The methods of a fit: print, summary, predict, as.data.frame.

.method_names <- c(ml = "sequential learning, likelihood", bayes = "sequential learning, posterior",
                   ls = "sequential learning, least squares", batch = "batch estimation")

.ordinality <- function(test) {
  if (isTRUE(test$strongly_ordinal)) "strongly ordinal"
  else if (isTRUE(test$weakly_ordinal)) "weakly ordinal"
  else "not ordinal"
}

print.tavrel_lra <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  test <- x$test
  method <- .method_of(x)
  cat("Latent rank analysis:", test$examinees, "examinees,", test$items, "items,", test$ranks, "ranks\n")
  run <- if (method == "batch") {
    sprintf("%d passes, %s", x$passes, if (isTRUE(x$converged)) "converged" else "not converged")
  } else {
    sprintf("%d passes, seed %d", x$passes, x$seed)
  }
  cat("Method: ", method, " (", .method_names[[method]], "), ", run, "\n", sep = "")
  if (!is.null(x$restarts)) cat(.restart_line(x, digits), "\n", sep = "")
  fit <- c(`log-likelihood` = test$loglik_model, `chi-square` = test$chisq_model, df = test$df_model,
           CFI = test$CFI, RMSEA = test$RMSEA, AIC = test$AIC, BIC = test$BIC)
  shown <- vapply(fit, function(v) format(v, digits = digits), "")
  cat("Fit: ", paste(names(fit), shown, collapse = ", "), "\n", sep = "")
  cat("Examinees by rank: ", paste(x$rank_statistics$latent_rank_distribution, collapse = " "), "\n", sep = "")
  trp <- trimws(format(x$rank_statistics$test_reference_profile, digits = digits))
  cat("Test reference profile: ", paste(trp, collapse = " "), " (", .ordinality(test), ")\n", sep = "")
  invisible(x)
}

# The restarts in a line: how many, their seeds, the one kept.
.restart_line <- function(fit, digits) {
  runs <- fit$restarts
  kept <- which(runs$kept)[1L]
  sprintf("Restarts: %d runs with seeds %d to %d; run %d (seed %d) kept, marginal log-likelihood %s", nrow(runs),
          runs$seed[1L], runs$seed[nrow(runs)], kept, runs$seed[kept], format(runs$loglik_marginal[kept], digits = digits))
}

# The test file's fit rows, in its order.
.fit_rows <- c("loglik_model", "loglik_benchmark", "loglik_null", "chisq_model", "chisq_null", "df_model",
               "df_null", "NFI", "RFI", "IFI", "TLI", "CFI", "RMSEA", "AIC", "CAIC", "BIC")

summary.tavrel_lra <- function(object, ...) {
  test <- object$test
  scores <- c("mean", "se_mean", "sd", "skewness", "kurtosis", "min", "max")
  structure(list(call = object$call,
                 run = test[c("items", "examinees", "ranks", "method", "passes", "converged")],
                 scores = unlist(test[scores]),
                 fit = unlist(test[.fit_rows]),
                 ordinality = .ordinality(test),
                 seed = object$seed,
                 loglik_marginal = object$loglik_marginal,
                 restarts = object$restarts,
                 items = object$items[c("item", "respondents", "correct_rate", "item_total_correlation", "alpha",
                                        "a", "beta", "b", "gamma", "c", "RMSEA", "CFI")],
                 ranks = object$rank_statistics),
            class = "summary.tavrel_lra")
}

print.summary.tavrel_lra <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("Call:\n")
  print(x$call)
  run <- x$run
  cat("\n", run$examinees, " examinees, ", run$items, " items, ", run$ranks, " ranks; method ", run$method,
      ", ", run$passes, " passes", if (!is.na(run$converged)) if (run$converged) ", converged" else ", not converged",
      if (!is.null(x$seed)) paste0(", seed ", x$seed), "; ", x$ordinality, "\n", sep = "")
  cat("Marginal log-likelihood:", format(x$loglik_marginal, digits = digits), "\n")
  if (!is.null(x$restarts)) {
    cat("\nRestarts:\n")
    print(x$restarts, digits = digits, row.names = FALSE)
  }
  each <- function(v) vapply(v, function(e) format(e, digits = digits), "")
  cat("\nNumber-right scores:\n")
  print(each(x$scores), quote = FALSE)
  cat("\nTest fit:\n")
  print(each(x$fit), quote = FALSE)
  cat("\nRanks:\n")
  print(x$ranks, digits = digits, row.names = FALSE)
  cat("\nItems:\n")
  print(x$items, digits = digits, row.names = FALSE)
  invisible(x)
}

as.data.frame.tavrel_lra <- function(x, row.names = NULL, optional = FALSE, ...) {
  out <- x$examinees
  if (!is.null(row.names)) rownames(out) <- row.names
  out
}

predict.tavrel_lra <- function(object, newdata, type = c("rank", "membership"), threads = NULL,
                               verbose = FALSE, ...) {
  call <- sys.call()
  type <- match.arg(type)
  if (missing(newdata) || is.null(newdata)) return(if (type == "rank") object$ranks else object$memberships)
  .check_fit(object, call)
  threads <- .threads(threads, call)
  verbose <- .flag(verbose, "verbose", call)
  items <- rownames(object$profile)
  J <- length(items)
  given <- .labels(newdata)$names
  if (.has_item_names(object) && !is.null(given)) {
    # Columns matched to the fit's items by name; others are left out.
    order <- match(items, given)
    if (anyNA(order))
      .fail(call, "newdata lacks the fit's items ",
            paste(encodeString(.first(items[is.na(order)], 10L), quote = "\""), collapse = ", "))
  } else {
    if (!is.null(ncol(newdata)) && ncol(newdata) != J)
      .fail(call, "newdata has ", ncol(newdata), " columns; the fit has ", J, " items")
    order <- NULL
  }
  table <- .responses(newdata, threads, call, order, what = "newdata")
  out <- .engine(.classify(object$state, table$codes, table$N, type == "rank", type == "membership", threads,
                           table$ids, verbose), call)
  if (type == "rank") out$ranks else out$memberships
}
