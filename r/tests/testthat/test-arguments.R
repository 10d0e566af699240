# The arguments of lra(): each wrong value stops with what to give instead.

x <- answers(N = 40, J = 5, seed = 2)

test_that("wrong options stop with what to give", {
  expect_error(lra(x, nranks = 0), "nranks must be a whole number from 1")
  expect_error(lra(x, nranks = 2.5), "nranks must be a whole number")
  expect_error(lra(x, method = "kmeans"), 'method must be "ml", "bayes", "ls" or "batch"')
  expect_error(lra(x, maxiter = -1), "maxiter must be a whole number from 0")
  expect_error(lra(x, seed = 0), "seed must be a whole number from 1 to 2147483647")
  expect_error(lra(x, alpha = 1), "alpha must be two numbers")
  expect_error(lra(x, sigma = c(1, -1)), "sigma must be two numbers of 0 or more")
  expect_error(lra(x, diffcrit = NA), "diffcrit must be a number")
  expect_error(lra(x, increase = "yes"), "increase must be TRUE or FALSE")
  expect_error(lra(x, phi = 2), "phi must be a number from 0 to 1")
  expect_error(lra(x, nranks = 3, prior = c(0.5, 0.5)), "prior must be nranks = 3 numbers")
  expect_error(lra(x, nranks = 2, prior = c(0, 0)), "one above 0")
  expect_error(lra(x, threads = -2), "threads must be a whole number")
  expect_error(lra(x, verbose = NA), "verbose must be TRUE or FALSE")
})

test_that("item use takes one flag per item or the names to keep", {
  frame <- answer_frame(x)
  by_flag <- lra(frame, nranks = 3, seed = 3, maxiter = 5, itemuse = c(TRUE, FALSE, TRUE, TRUE, FALSE))
  by_name <- lra(frame, nranks = 3, seed = 3, maxiter = 5, itemuse = c("q1", "q3", "q4"))
  expect_identical(by_name$profile, by_flag$profile)
  expect_true(all(is.na(by_flag$profile[c("q2", "q5"), ])))
  expect_true(all(is.na(by_flag$items[c("q2", "q5"), -1])))
  expect_error(lra(frame, itemuse = c(TRUE, FALSE)), "itemuse must be 5 TRUE/FALSE values")
  expect_error(lra(frame, itemuse = "q9"), 'itemuse names items that the data do not have: "q9"')
  expect_error(lra(x, itemuse = "q1"), "itemuse by name needs item names")
  expect_error(lra(frame, itemuse = rep(FALSE, 5)), "no item in use")
  expect_error(lra(frame, itemuse = 1:5), "itemuse must be 5 TRUE/FALSE values or a character vector")
})

test_that("a fixed profile keeps its cells and is checked", {
  frame <- answer_frame(x)
  fixed <- matrix(NA_real_, 5, 3)
  fixed[2, ] <- c(0.2, 0.5, 0.8)
  fit <- lra(frame, nranks = 3, seed = 3, maxiter = 5, fixed = fixed)
  expect_identical(unname(fit$profile[2, ]), c(0.2, 0.5, 0.8))
  # A fit's own profile can be kept as it is.
  again <- lra(frame, nranks = 3, seed = 3, maxiter = 5, fixed = fit$profile)
  expect_identical(again$profile, fit$profile)
  expect_error(lra(frame, nranks = 3, fixed = fixed[, 1:2]), "fixed must have nranks = 3 columns")
  expect_error(lra(unname(x), nranks = 3, fixed = fixed[1:4, ]), "fixed must have one row per item")
  fixed[1, 1] <- 1.5
  expect_error(lra(frame, nranks = 3, fixed = fixed), "fixed holds 1.5 for item 1, rank 1")
  named <- fixed[1:2, ]
  rownames(named) <- c("q1", "zz")
  expect_error(lra(frame, nranks = 3, fixed = named), 'fixed has rows for items that the data do not have: "zz"')
})

test_that("the seed is recorded: a clock seed repeats the fit", {
  fit <- lra(x, nranks = 3, maxiter = 5)
  expect_true(fit$seed >= 1L)
  expect_identical(lra(x, nranks = 3, maxiter = 5, seed = fit$seed)$profile, fit$profile)
  batch <- suppressWarnings(lra(x, nranks = 3, method = "batch", maxiter = 2))
  expect_null(batch$seed)
  expect_type(batch$converged, "logical")
  expect_warning(lra(x, nranks = 3, method = "em", maxiter = 1, diffcrit = 1e-12), "stopped after maxiter = 1 passes")
  expect_no_warning(every <- lra(x, nranks = 3, method = "batch", maxiter = 3, diffcrit = 0))
  expect_identical(every$passes, 3L)
  expect_identical(lra(x, nranks = 3, method = "EUCLID", maxiter = 2, seed = 1)$test$method, "ls")
})
