# lra(): the analysis of a data frame or matrix of answers into a fit of class "tavrel_lra".

lra <- function(data, nranks = 10, method = "ml", maxiter = 100, seed = NULL,
                prior = NULL, itemuse = NULL, fixed = NULL, phi = NULL, increase = FALSE,
                diffcrit = 1e-4, alpha = c(1, 0.1), sigma = c(1, 0.12), threads = NULL, verbose = FALSE) {
  call <- sys.call()
  nranks <- .whole(nranks, "nranks", 1, .Machine$integer.max, call)
  method <- .method(method, call)
  maxiter <- .whole(maxiter, "maxiter", 0, .Machine$integer.max, call)
  seed <- if (is.null(seed)) 0L else .whole(seed, "seed", 1, .Machine$integer.max, call)
  alpha <- .pair(alpha, "alpha", call)
  sigma <- .pair(sigma, "sigma", call)
  diffcrit <- .number(diffcrit, "diffcrit", 0, call = call)
  increase <- .flag(increase, "increase", call)
  if (!is.null(phi)) phi <- .number(phi, "phi", 0, 1, call)
  prior <- .prior(prior, nranks, call)
  threads <- .threads(threads, call)
  verbose <- .flag(verbose, "verbose", call)

  table <- .responses(data, threads, call)
  itemuse <- .itemuse(itemuse, table, call)
  fixed <- .fixed(fixed, table, nranks, call)
  fit <- .engine(.fit(table$codes, table$N, table$J, nranks, method, maxiter, seed, alpha[1L], alpha[2L],
                      sigma[1L], sigma[2L], diffcrit, increase, prior, itemuse, fixed$values, fixed$mask,
                      phi, threads, table$ids, table$names, verbose), call)
  fit$call <- match.call()
  class(fit) <- "tavrel_lra"
  # diffcrit = 0 asks for every pass: no warning then.
  if (method == "batch" && !fit$converged && diffcrit > 0)
    warning(simpleWarning(sprintf(paste("the batch estimation stopped after maxiter = %d passes before the change",
                                        "met diffcrit = %g; raise maxiter or diffcrit"), fit$passes, diffcrit), call))
  fit
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
