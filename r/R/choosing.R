# Choosing K and trusting a run: the fit's marginal log-likelihood as a
# "logLik".

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
