# Choosing K and trusting a run: the fit's marginal log-likelihood as a
# "logLik", and the rank sweep with its print, plot and file.

logLik.tavrel_lra <- function(object, ...) {
  call <- sys.call()
  .check_fit(object, call)
  parts <- .engine(.likelihood(object$state), call)
  structure(parts$loglik, df = parts$df, nobs = as.integer(parts$nobs), class = "logLik")
}

nobs.tavrel_lra <- function(object, ...) {
  call <- sys.call()
  .check_fit(object, call)
  as.integer(.engine(.likelihood(object$state), call)$nobs)
}

# The sweep file's columns, in its order.
.sweep_names <- c("ranks", "method", "seed", "passes", "converged", "loglik_marginal", "loglik_model",
                  "loglik_benchmark", "loglik_null", "chisq_model", "chisq_null", "df_model", "df_null", "NFI", "RFI",
                  "IFI", "TLI", "CFI", "RMSEA", "AIC", "CAIC", "BIC", "weakly_ordinal", "strongly_ordinal",
                  "smallest_rank_share", "rank_score_correlation")

# The rank counts of a sweep: whole numbers of 1 or more, ascending, each once.
.rank_counts <- function(x, call) {
  if (!is.numeric(x) || !length(x) || anyNA(x) || any(x != round(x)) || any(x < 1) ||
      any(x > .Machine$integer.max))
    .fail(call, "nranks must be whole numbers of 1 or more, such as 2:10; not ", .shown(x))
  sort(unique(as.integer(x)))
}

lra_sweep <- function(data, nranks = 2:10, ...) {
  call <- sys.call()
  given <- list(...)
  keys <- names(given)
  allowed <- setdiff(names(formals(lra)), c("data", "nranks"))
  if (length(given) && (is.null(keys) || any(!nzchar(keys))))
    .fail(call, "give lra()'s other arguments by name, such as method = \"batch\"")
  unknown <- setdiff(keys, allowed)
  if (length(unknown))
    .fail(call, "lra_sweep() has no argument ", unknown[1L], "; it takes lra()'s arguments but data and nranks: ",
          paste(allowed, collapse = ", "))
  twice <- keys[duplicated(keys)]
  if (length(twice)) .fail(call, twice[1L], " is given twice")
  for (name in c("prior", "fixed"))
    if (!is.null(given[[name]]))
      .fail(call, "lra_sweep() cannot use ", name, ": it depends on the number of ranks; leave it NULL")
  # lra()'s defaults, with the arguments given.
  args <- lapply(formals(lra)[allowed], eval, baseenv())
  args[keys] <- given
  counts <- .rank_counts(nranks, call)
  o <- .run_options(args$method, args$maxiter, args$seed, args$restarts, args$alpha, args$sigma, args$diffcrit,
                    args$increase, args$phi, args$threads, args$verbose, call)
  table <- .responses(data, o$threads, call)
  itemuse <- .itemuse(args$itemuse, table, call)

  # The runs of a sweep tell nothing of their own: what a single fit would
  # warn of its restarts is told here once.
  if (o$restarts > 1L) {
    most <- .Machine$integer.max
    if (o$method == "batch") {
      warning(simpleWarning("Parameter \"restarts\" has no effect on the batch method.", call))
    } else if (o$seed > 0L && as.double(o$seed) + o$restarts - 1 > most) {
      warning(simpleWarning(sprintf("Parameter \"restarts\" is reduced to %d.", most - o$seed + 1L), call))
    }
  }
  sweep <- .engine(.sweep(table$codes, table$N, table$J, counts, o$method, o$maxiter, o$seed, o$restarts,
                          o$alpha[1L], o$alpha[2L], o$sigma[1L], o$sigma[2L], o$diffcrit, o$increase, itemuse, o$phi,
                          o$threads, o$verbose), call)
  class(sweep) <- c("tavrel_sweep", "data.frame")
  sweep
}

# The sweep's 26 columns in the file's order with the types the engine
# reads, from a data frame as lra_sweep() gives it.
.sweep_columns <- function(sweep, call) {
  if (!is.data.frame(sweep)) .fail(call, "sweep must be the result of lra_sweep(), not ", class(sweep)[1L])
  missing <- setdiff(.sweep_names, names(sweep))
  if (length(missing))
    .fail(call, "sweep lacks the columns ", paste(missing, collapse = ", "), "; give the result of lra_sweep()")
  if (!nrow(sweep)) .fail(call, "sweep has no rows; give the result of lra_sweep()")
  columns <- lapply(.sweep_names, function(name) sweep[[name]])
  names(columns) <- .sweep_names
  bad <- function(name, what) .fail(call, "sweep's column ", name, " must be ", what, ", as lra_sweep() gives it")
  ranks <- columns$ranks
  if (!is.numeric(ranks) || anyNA(ranks) || any(ranks != round(ranks)) || any(ranks < 1) ||
      any(ranks > .Machine$integer.max) || is.unsorted(ranks, strictly = TRUE))
    bad("ranks", "rank counts of 1 or more, ascending, each once")
  words <- if (is.character(columns$method) || is.factor(columns$method))
    vapply(as.character(columns$method), function(w) if (is.na(w)) NA_character_ else {
      word <- .method_word(w)
      if (is.null(word)) NA_character_ else word
    }, "")
  if (is.null(words) || anyNA(words)) bad("method", "the methods' words (\"ml\", \"bayes\", \"ls\", \"batch\")")
  columns$method <- unname(words)
  for (name in c("ranks", "seed", "passes")) {
    v <- columns[[name]]
    if (!is.numeric(v) && !all(is.na(v))) bad(name, "whole numbers")
    columns[[name]] <- as.integer(v)
  }
  if (anyNA(columns$passes)) bad("passes", "whole numbers")
  for (name in c("converged", "weakly_ordinal", "strongly_ordinal")) {
    if (!is.logical(columns[[name]])) bad(name, "TRUE or FALSE")
  }
  if (anyNA(columns$weakly_ordinal) || anyNA(columns$strongly_ordinal))
    bad(if (anyNA(columns$weakly_ordinal)) "weakly_ordinal" else "strongly_ordinal", "TRUE or FALSE")
  for (name in .sweep_names[c(6:22, 25:26)]) {
    v <- columns[[name]]
    if (!is.numeric(v) && !all(is.na(v))) bad(name, "numbers")
    columns[[name]] <- as.double(v)
  }
  unname(columns)
}

write_sweep <- function(sweep, file, dlm = ",") {
  call <- sys.call()
  columns <- .sweep_columns(sweep, call)
  if (!is.character(file) || length(file) != 1L || is.na(file) || !nzchar(file))
    .fail(call, "file must be the name of the sweep file, such as \"sweep.csv\"")
  delimiter <- .delimiter(dlm, call)
  .engine(.write_sweep(columns, file, delimiter, FALSE), call)
  invisible(file)
}

# The rank count an index favours: its smallest value, or its largest; the
# lowest K on ties; NA skipped. NA when every value is NA.
.favoured <- function(ranks, values, largest) {
  known <- !is.na(values)
  if (!any(known)) return(NA_integer_)
  v <- values[known]
  best <- if (largest) max(v) else min(v)
  min(ranks[known][v == best])
}

# The indices print and plot show, with the side each favours.
.favour <- c(AIC = FALSE, CAIC = FALSE, BIC = FALSE, CFI = TRUE, TLI = TRUE, RMSEA = FALSE)

print.tavrel_sweep <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  if (!all(.sweep_names %in% names(x)) || !nrow(x)) return(NextMethod())
  methods <- unique(as.character(x$method))
  seeds <- unique(x$seed[!is.na(x$seed)])
  cat("Rank sweep: K = ", paste(x$ranks, collapse = ", "), "; method ", paste(methods, collapse = ", "),
      if (length(seeds)) paste0(", seed ", paste(seeds, collapse = ", ")), "\n", sep = "")
  number <- function(v) vapply(v, function(e) if (is.na(e)) "NA" else format(e, digits = digits), "")
  ordinal <- ifelse(x$strongly_ordinal, "strong", ifelse(x$weakly_ordinal, "weak", "no"))
  # logLik the marginal log-likelihood, min_share the smallest rank share.
  shown <- data.frame(K = x$ranks, logLik = number(x$loglik_marginal), AIC = number(x$AIC), CAIC = number(x$CAIC),
                      BIC = number(x$BIC), CFI = number(x$CFI), TLI = number(x$TLI), RMSEA = number(x$RMSEA),
                      ordinal = ordinal, min_share = number(x$smallest_rank_share))
  if (any(x$method == "batch")) shown$converged <- ifelse(is.na(x$converged), "NA", ifelse(x$converged, "yes", "no"))
  print(shown, row.names = FALSE, right = TRUE)
  for (name in names(.favour)) {
    k <- .favoured(x$ranks, x[[name]], .favour[[name]])
    cat(name, if (is.na(k)) " is NA at every K.\n"
              else sprintf(" favours K = %d (its %s value).\n", k, if (.favour[[name]]) "largest" else "smallest"),
        sep = "")
  }
  invisible(x)
}

# Three panels against K, as the report draws them: the information
# criteria, the fit indices, and the marginal log-likelihood.
plot.tavrel_sweep <- function(x, ...) {
  call <- sys.call()
  columns <- .sweep_columns(x, call)
  names(columns) <- .sweep_names
  K <- columns$ranks
  colours <- c("#0072b2", "#d55e00", "#009e73")
  old <- par(mfrow = c(1L, 3L), mar = c(4, 4.5, 3, 1), mgp = c(2.6, 0.7, 0))
  on.exit(par(old))
  panel <- function(names, title, axis_title) {
    values <- columns[names]
    finite <- unlist(values)[is.finite(unlist(values))]
    plot.new()
    ylim <- if (length(finite)) range(finite) else c(0, 1)
    # Room above the lines for the legend.
    if (length(names) > 1L) ylim[2L] <- ylim[2L] + 0.18 * max(diff(ylim), abs(ylim[2L]) * 1e-3, 1e-12)
    plot.window(xlim = range(K) + c(-0.3, 0.3), ylim = ylim)
    for (s in seq_along(names))
      lines(K, values[[s]], type = "o", col = colours[s], lty = s, pch = c(19, 15, 18)[s], ...)
    axis(1, at = K)
    axis(2, las = 1)
    box()
    title(main = title, xlab = "Number of ranks K", ylab = axis_title, font.main = 1)
    if (!length(finite)) text(mean(range(K)), 0.5, "NA at every K")
    if (length(names) > 1L)
      legend("top", names, col = colours[seq_along(names)], lty = seq_along(names),
             pch = c(19, 15, 18)[seq_along(names)], bty = "n", cex = 0.85, horiz = TRUE)
  }
  panel(c("AIC", "CAIC", "BIC"), "Information criteria", "Criterion")
  panel(c("CFI", "TLI", "RMSEA"), "Fit indices", "Index")
  panel("loglik_marginal", "Marginal log-likelihood", "Log-likelihood")
  invisible(x)
}
