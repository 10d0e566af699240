# lra() and write_results() give the console program's files byte for byte:
# a matrix as fixed-column data without ids, a data frame as CSV with ids and
# names (as write.csv writes it), for every method, with and without a fixed
# profile, a prior and item use.

K <- 4L
J <- 8L
x <- answers(N = 150, J = J, seed = 3)
x[, 6] <- NA  # an item nobody answered
x[11, ] <- NA  # an examinee with no answer
frame <- answer_frame(x)

fixed <- matrix(NA_real_, J, K)
fixed[1, ] <- c(0.1, 0.3, 0.6, 0.9)
fixed[3, 2] <- 0.45
prior <- c(0.15, 0.25, 0.35, 0.25)
use <- c(TRUE, TRUE, TRUE, FALSE, TRUE, TRUE, FALSE, TRUE)

variants <- c("plain", "fixed", "prior", "itemuse", "all")

package_options <- function(variant, kind) {
  options <- list()
  if (variant %in% c("fixed", "all")) {
    options$fixed <- fixed
    if (kind == "frame") {
      # Only the rows that hold a kept cell, matched by name.
      options$fixed <- fixed[c(3, 1), ]
      rownames(options$fixed) <- c("q3", "q1")
    }
  }
  if (variant %in% c("prior", "all")) options$prior <- prior
  if (variant %in% c("itemuse", "all")) options$itemuse <- if (kind == "frame") names(frame)[use] else use
  options
}

console_settings <- function(variant, folder) {
  settings <- list()
  if (variant %in% c("fixed", "all")) {
    kept <- which(rowSums(!is.na(fixed)) > 0)
    lines <- c(paste(c("item", seq_len(K)), collapse = ","),
               vapply(kept, function(j) paste(c(j, ifelse(is.na(fixed[j, ]), "*", format(fixed[j, ], digits = 17))),
                                              collapse = ","), ""))
    writeLines(lines, file.path(folder, "fixed.csv"))
    settings$fixedfile <- "fixed.csv"
  }
  if (variant %in% c("prior", "all")) settings$prior <- paste(format(prior, digits = 17), collapse = ", ")
  if (variant %in% c("itemuse", "all")) settings$itemuse <- paste(as.integer(use), collapse = "")
  settings
}

console_files <- function(method, variant, kind) {
  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  if (kind == "matrix") {
    write_fixed(file.path(folder, "data.txt"), x)
    settings <- list(infile = "data.txt")
  } else {
    # write.csv's first header field is empty: the console reads column 1 as the ids.
    utils::write.csv(frame, file.path(folder, "data.csv"))
    settings <- list(infile = "data.csv", dataformat = "csv")
  }
  settings <- c(settings, list(nranks = K, method = method, seed = 11, maxiter = 15, threads = 1),
                console_settings(variant, folder), as.list(result_files))
  run_console(folder, settings)
  read_bytes(folder)
}

for (method in c("ml", "bayes", "ls", "batch")) {
  test_that(paste("the files of", method, "are the console program's, for every variant and kind"), {
    console_binary()
    threads <- 1L
    for (variant in variants) {
      for (kind in c("matrix", "frame")) {
        data <- if (kind == "matrix") x else frame
        fit <- suppressWarnings(do.call(lra, c(list(data, nranks = K, method = method, seed = 11, maxiter = 15,
                                                    threads = threads), package_options(variant, kind))))
        threads <- threads %% 3L + 1L  # 1, 2 and 3 threads in turn: the bytes never depend on them
        folder <- new_folder()
        write_results(fit, folder)
        written <- read_bytes(folder)
        unlink(folder, recursive = TRUE)
        expected <- console_files(method, variant, kind)
        different <- names(result_files)[!mapply(identical, written, expected)]
        expect_identical(different, character(), label = paste(method, variant, kind))
      }
    }
  })
}

test_that("renamed and omitted files and another delimiter are the console program's", {
  console_binary()
  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  write_fixed(file.path(folder, "data.txt"), x)
  run_console(folder, list(infile = "data.txt", nranks = K, seed = 5, maxiter = 10, dlm = "tab",
                           outfile = "profile.tsv", examineefile = "people.tsv"))
  fit <- lra(x, nranks = K, seed = 5, maxiter = 10)
  mine <- file.path(folder, "package")
  dir.create(mine)
  names <- setNames(vector("list", length(result_files)), names(result_files))
  names[c("outfile", "examineefile")] <- list("profile.tsv", "people.tsv")
  written <- do.call(write_results, c(list(fit, mine, dlm = "tab"), names))
  expect_setequal(list.files(mine), c("people.tsv", "profile.tsv"))
  expect_identical(unname(written), file.path(mine, c("profile.tsv", "people.tsv")))
  for (name in c("profile.tsv", "people.tsv"))
    expect_identical(read_bytes(mine, name), read_bytes(folder, name))
})

test_that("a fit read back from saveRDS writes the same files", {
  fit <- lra(frame, nranks = K, method = "ls", seed = 2, maxiter = 10)
  path <- tempfile(fileext = ".rds")
  saveRDS(fit, path)
  again <- readRDS(path)
  unlink(path)
  first <- new_folder()
  second <- new_folder()
  on.exit(unlink(c(first, second), recursive = TRUE))
  write_results(fit, first)
  write_results(again, second)
  expect_identical(read_bytes(second), read_bytes(first))
  expect_identical(again, fit)
})

test_that("verbose prints the console program's progress and messages", {
  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  write_fixed(file.path(folder, "data.txt"), x)
  for (method in c("ml", "batch")) {
    shown <- capture.output(fit <- suppressWarnings(lra(x, nranks = K, method = method, seed = 4, maxiter = 12,
                                                       verbose = TRUE)),
                            type = "message")
    console <- run_console(folder, list(infile = "data.txt", nranks = K, method = method, seed = 4, maxiter = 12))
    # The console's other notes (data, ranks, files) come from outside the analysis.
    note <- "^tavrel.exe: Note: "
    expect_identical(grep(note, shown, value = TRUE, invert = TRUE), grep(note, console, value = TRUE, invert = TRUE))
    expect_true(all(grep(note, shown, value = TRUE) %in% console))
    expect_match(shown[length(shown)], if (method == "ml") "^Now calculating \\.+$" else "^[0-9]+\t")
  }
})
