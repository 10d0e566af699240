# lra(): the analysis of a data frame or matrix of answers into a fit of class "tavrel_lra".

lra <- function(data, nranks = 10, method = "ml", maxiter = 100, seed = NULL, restarts = 1,
                prior = NULL, itemuse = NULL, fixed = NULL, phi = NULL, increase = FALSE,
                diffcrit = 1e-4, alpha = c(1, 0.1), sigma = c(1, 0.12), threads = NULL, verbose = FALSE) {
  call <- sys.call()
  nranks <- .whole(nranks, "nranks", 1, .Machine$integer.max, call)
  o <- .run_options(method, maxiter, seed, restarts, alpha, sigma, diffcrit, increase, phi, threads, verbose, call)
  prior <- .prior(prior, nranks, call)

  table <- .responses(data, o$threads, call)
  itemuse <- .itemuse(itemuse, table, call)
  fixed <- .fixed(fixed, table, nranks, call)
  fit <- .engine(.fit(table$codes, table$N, table$J, nranks, o$method, o$maxiter, o$seed, o$restarts, o$alpha[1L],
                      o$alpha[2L], o$sigma[1L], o$sigma[2L], o$diffcrit, o$increase, prior, itemuse, fixed$values,
                      fixed$mask, o$phi, o$threads, table$ids, table$names, o$verbose), call)
  fit$call <- match.call()
  class(fit) <- "tavrel_lra"
  # diffcrit = 0 asks for every pass: no warning then.
  if (o$method == "batch" && !fit$converged && o$diffcrit > 0)
    warning(simpleWarning(sprintf(paste("the batch estimation stopped after maxiter = %d passes before the change",
                                        "met diffcrit = %g; raise maxiter or diffcrit"), fit$passes, o$diffcrit), call))
  fit
}

# The run options that do not depend on the data or on K, checked: those of
# lra() and lra_sweep().
.run_options <- function(method, maxiter, seed, restarts, alpha, sigma, diffcrit, increase, phi, threads, verbose,
                         call) {
  list(method = .method(method, call),
       maxiter = .whole(maxiter, "maxiter", 0, .Machine$integer.max, call),
       seed = if (is.null(seed)) 0L else .whole(seed, "seed", 1, .Machine$integer.max, call),
       # Below 1 means one run, as the key restarts takes it.
       restarts = max(.whole(restarts, "restarts", -.Machine$integer.max, .Machine$integer.max, call), 1L),
       alpha = .pair(alpha, "alpha", call),
       sigma = .pair(sigma, "sigma", call),
       diffcrit = .number(diffcrit, "diffcrit", 0, call = call),
       increase = .flag(increase, "increase", call),
       phi = if (!is.null(phi)) .number(phi, "phi", 0, 1, call),
       threads = .threads(threads, call),
       verbose = .flag(verbose, "verbose", call))
}

# The method's word in the result files: "ml", "bayes", "ls" or "batch".
.method_of <- function(fit) fit$test$method

# Whether the data had item names (the item column of the item table holds
# them; numbers otherwise).
.has_item_names <- function(fit) is.character(fit$items$item)

.check_fit <- function(fit, call) {
  if (!inherits(fit, "tavrel_lra") || !is.raw(fit$state))
    .fail(call, "fit must be the result of lra(), not ", class(fit)[1L])
}
