# Ctrl-C stops a fit within a second and signals R's interrupt condition
# (in a child R process, which interrupts itself with SIGINT).

test_that("an interrupt stops a fit within a second", {
  skip_on_os("windows")
  skip_if(Sys.which("kill") == "" || Sys.which("sleep") == "", "no kill or sleep command")
  script <- tempfile(fileext = ".R")
  on.exit(unlink(script))
  writeLines(c(
    "library(tavrel)",
    "set.seed(1)",
    "x <- matrix(sample(0:1, 20000 * 50, TRUE), 20000)",
    # In the background as a whole: system() ignores SIGINT while it waits.
    "system(sprintf(\"sh -c 'sleep 1; kill -INT %d'\", Sys.getpid()), wait = FALSE)",
    "start <- Sys.time()",
    "got <- tryCatch(lra(x, nranks = 10, maxiter = 300, threads = 1), interrupt = function(e) 'interrupt')",
    "cat('result:', if (is.character(got)) got else 'finished', as.numeric(Sys.time() - start, units = 'secs'), '\\n')"
  ), script)
  out <- system2(file.path(R.home("bin"), "Rscript"), shQuote(script), stdout = TRUE, stderr = TRUE, timeout = 120,
                 env = paste0("R_LIBS=", shQuote(paste(.libPaths(), collapse = .Platform$path.sep))))
  line <- grep("^result:", out, value = TRUE)
  expect_length(line, 1L)
  words <- strsplit(line, " ")[[1]]
  expect_identical(words[2], "interrupt")
  # The signal comes a second after the start; the fit stops within another.
  expect_lt(as.numeric(words[3]), 2)
})
