# What lra() takes: answers of every type, missing values in every form, ids
# and names, and the values it refuses.

x <- answers(N = 60, J = 6, seed = 7)

same_fit <- function(a, b) {
  expect_identical(unname(a$profile), unname(b$profile))
  expect_identical(unname(a$ranks), unname(b$ranks))
  expect_identical(unname(a$memberships), unname(b$memberships))
}

test_that("numeric, integer and logical matrices and data frames give one fit", {
  reference <- lra(x, nranks = 3, seed = 9, maxiter = 10)
  storage.mode(x) <- "integer"
  same_fit(lra(x, nranks = 3, seed = 9, maxiter = 10), reference)
  logical <- x == 1
  same_fit(lra(logical, nranks = 3, seed = 9, maxiter = 10), reference)
  mixed <- data.frame(a = x[, 1] * 1, b = x[, 2], c = logical[, 3], d = x[, 4], e = x[, 5] * 1, f = logical[, 6])
  same_fit(lra(mixed, nranks = 3, seed = 9, maxiter = 10), reference)
})

test_that("NA, NaN, NA_integer_ and logical NA are all missing", {
  reference <- lra(x, nranks = 3, seed = 9, maxiter = 10)
  nan <- x
  nan[is.na(x)] <- NaN
  same_fit(lra(nan, nranks = 3, seed = 9, maxiter = 10), reference)
  frame <- data.frame(a = as.integer(x[, 1]), b = x[, 2] == 1, c = x[, 3], d = nan[, 4], e = x[, 5], f = x[, 6])
  same_fit(lra(frame, nranks = 3, seed = 9, maxiter = 10), reference)
  # An item nobody answered, an examinee with no answer, every answer missing.
  y <- x
  y[, 2] <- NA
  y[5, ] <- NaN
  fit <- lra(y, nranks = 3, seed = 9, maxiter = 10)
  expect_identical(fit$items$respondents[2], 0L)
  expect_identical(fit$examinees$responses[5], 0L)
  expect_true(fit$ranks[5] %in% 1:3)
  empty <- lra(matrix(NA, 4, 3), nranks = 2, seed = 1, maxiter = 3)
  expect_identical(empty$test$examinees, 0L)
})

test_that("ids come from set row names, item names from column names", {
  frame <- answer_frame(x)
  fit <- lra(frame, nranks = 3, seed = 9, maxiter = 10)
  expect_identical(names(fit$ranks), rownames(frame))
  expect_identical(rownames(fit$memberships), rownames(frame))
  expect_identical(fit$examinees$id, rownames(frame))
  expect_identical(rownames(fit$profile), names(frame))
  expect_identical(fit$items$item, names(frame))
  expect_identical(colnames(fit$profile), as.character(1:3))

  # Automatic row names are no ids.
  rownames(frame) <- NULL
  fit <- lra(frame, nranks = 3, seed = 9, maxiter = 10)
  expect_null(names(fit$ranks))
  expect_false("id" %in% names(fit$examinees))

  # A matrix without dimnames: neither; its items are numbered.
  fit <- lra(unname(x), nranks = 3, seed = 9, maxiter = 10)
  expect_null(names(fit$ranks))
  expect_identical(rownames(fit$profile), as.character(1:6))
  expect_identical(fit$items$item, 1:6)

  # Duplicate ids are kept, as the console keeps them.
  dup <- x
  rownames(dup) <- rep(c("a", "b"), length.out = nrow(x))
  expect_identical(names(lra(dup, nranks = 3, seed = 9, maxiter = 10)$ranks), rownames(dup))
  # Names that are not ASCII go through as UTF-8.
  colnames(dup) <- c("Frage \u00e4", "q2", "q3", "q4", "q5", "\u554f6")
  expect_identical(rownames(lra(dup, nranks = 2, seed = 1, maxiter = 2)$profile), colnames(dup))
})

test_that("a value that is not an answer stops naming its row, column and value", {
  frame <- answer_frame(x)
  frame$q3[7] <- 2
  expect_error(lra(frame, nranks = 3), 'row 7 \\("S0007"\\), column 3 \\("q3"\\): 2 is not an answer')
  m <- x
  m[5, 2] <- 0.5
  m[9, 1] <- -1
  expect_error(lra(m, nranks = 3), "row 5, column 2: 0.5 is not an answer")
  m[2, 6] <- Inf
  expect_error(lra(m, nranks = 3), "row 2, column 6: Inf is not an answer")

  frame <- answer_frame(x)
  frame$q2 <- factor(ifelse(is.na(x[, 2]), "b", "a"))
  expect_error(lra(frame, nranks = 3), 'column 2 \\("q2"\\): the factor level "[ab]" is not an answer.*factor')
  frame$q2 <- as.character(x[, 2])
  expect_error(lra(frame, nranks = 3), "column 2 .*the string .* is not an answer.*character")
  frame$q2 <- as.list(x[, 2])
  expect_error(lra(frame, nranks = 3), "column 2 .*the list element .* is not an answer")
  expect_error(lra(matrix("1", 3, 3), nranks = 2), "row 1, column 1: the string \"1\" is not an answer")
  expect_error(lra(list(a = 1), nranks = 2), "data must be a data frame or a matrix")
  expect_error(lra(x[0, ], nranks = 2), "no rows")
  expect_error(lra(x[, 0], nranks = 2), "no columns")
  named <- x
  colnames(named) <- c("a", "b", "a", "d", "e", "f")
  expect_error(lra(named, nranks = 2), 'column name "a" .* given twice')
  colnames(named)[2] <- ""
  expect_error(lra(named, nranks = 2), "column 2 of data has no name")
})

test_that("the tables' columns hold the fit's numbers, and each changes alone", {
  fit <- lra(answer_frame(x), nranks = 3, seed = 9, maxiter = 10)
  table <- fit$examinees
  memberships <- fit$memberships
  expect_identical(unname(as.matrix(table[paste0("membership_", 1:3)])), unname(memberships))
  expect_equal(sum(table$membership_2), sum(memberships[, 2]))
  table$membership_2[1] <- 5
  table$passage_rate[2] <- -1
  expect_identical(fit$memberships, memberships)
  expect_false(identical(fit$examinees$passage_rate[2], -1))
  changed <- fit
  changed$memberships[3, 1] <- 7
  expect_identical(changed$examinees$membership_1[3], memberships[3, 1])
  expect_identical(fit$memberships[3, 1], memberships[3, 1])
})
