# The methods of a fit on the shipped demo data: print, summary, plot into a
# PNG device, predict, as.data.frame.

demo <- function() {
  data(demo_responses, package = "tavrel", envir = environment())
  demo_responses
}

test_that("the shipped data are the demo file read with the package's reader", {
  file <- system.file("extdata", "demo.txt", package = "tavrel")
  expect_identical(demo(), read_responses(file, idbegin = 1))
  expect_identical(dim(demo()), c(1000L, 30L))
})

test_that("print and summary show the run and the fit", {
  fit <- lra(demo(), nranks = 5, seed = 2026)
  shown <- capture.output(print(fit))
  expect_match(shown[1], "1000 examinees, 30 items, 5 ranks")
  expect_match(shown[2], "Method: ml .*100 passes, seed 2026")
  expect_match(shown[3], "^Fit: log-likelihood -9819, .*RMSEA 0.04974")
  s <- summary(fit)
  expect_s3_class(s, "summary.tavrel_lra")
  expect_identical(unname(s$fit["CFI"]), fit$test$CFI)
  shown <- capture.output(print(s))
  expect_true(all(c("Test fit:", "Ranks:", "Items:") %in% shown))
  expect_identical(as.data.frame(fit), fit$examinees)
  expect_identical(names(fit$examinees)[1:3], c("id", "responses", "score"))
})

test_that("predict gives the fit's ranks and memberships on its own data, for every method", {
  data <- demo()[1:300, ]
  for (method in c("ml", "bayes", "ls", "batch")) {
    for (fixed in c(FALSE, TRUE)) {
      profile <- if (fixed) matrix(c(0.1, 0.4, 0.9, rep(NA, 87)), 30, 3, byrow = TRUE)
      fit <- suppressWarnings(lra(data, nranks = 3, method = method, seed = 5, maxiter = 8, fixed = profile))
      expect_identical(predict(fit, data), fit$ranks)
      expect_identical(predict(fit, data, type = "membership"), fit$memberships)
      expect_identical(predict(fit), fit$ranks)
    }
  }
})

test_that("predict matches columns by name and scores other examinees", {
  data <- demo()
  fit <- lra(data[1:700, ], nranks = 4, seed = 8, maxiter = 20)
  shuffled <- data[701:1000, c(30:1)]
  shuffled$extra <- "not an item"  # other columns are left out
  ranks <- predict(fit, shuffled)
  expect_identical(ranks, predict(fit, data[701:1000, ]))
  expect_identical(names(ranks), rownames(data)[701:1000])
  m <- predict(fit, shuffled, type = "membership")
  expect_equal(unname(rowSums(m)), rep(1, 300), tolerance = 1e-12)
  expect_identical(unname(max.col(m, ties.method = "first")), unname(ranks))
  expect_error(predict(fit, data[, 1:29]), 'newdata lacks the fit\'s items "30"')
  expect_error(predict(fit, unname(as.matrix(data))[, 1:29]), "newdata has 29 columns; the fit has 30 items")
  expect_identical(predict(fit, unname(as.matrix(data[701:1000, ]))), unname(ranks))
})

test_that("every plot draws on the demo, and a figure is not blank", {
  fit <- lra(demo(), nranks = 5, seed = 2026)
  batch <- lra(demo(), nranks = 5, method = "batch")
  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  files <- file.path(folder, sprintf("plot%d.png", 1:6))
  grDevices::png(file.path(folder, "plot%d.png"), width = 300, height = 240, type = "cairo")
  plot(fit)
  plot(fit, "ranks")
  plot(fit, "score")
  plot(fit, "convergence")
  plot(batch, "convergence")
  plot(fit, "irp", items = c("3", "7"))
  grDevices::dev.off()
  expect_true(all(file.exists(files)))
  pixels <- read_png(files[2])
  ink <- colSums(pixels[1:3, , , drop = FALSE] < 200, dims = 1)  # width x height: channels below white
  expect_gt(mean(ink > 0), 0.05)  # bars, lines and text
  expect_true(any(pixels[3, , ] > 150 & pixels[1, , ] < 50))  # the blue bars
  expect_error(plot(fit, items = "nope"), 'items names items the fit does not have: "nope"')
  expect_error(plot(fit, "pie"), "should be one of")
})
