# write_results' names and errors, write_report, read_responses.

x <- answers(N = 50, J = 5, seed = 4)
fit <- lra(answer_frame(x), nranks = 3, seed = 6, maxiter = 5)

test_that("write_results names files by their keys and refuses what it cannot write", {
  folder <- new_folder()
  on.exit(unlink(folder, recursive = TRUE))
  written <- write_results(fit, folder)
  expect_identical(names(written), names(result_files))
  expect_setequal(list.files(folder), unname(result_files))
  expect_error(write_results(fit, file.path(folder, "absent")), "does not exist; create it first")
  expect_error(write_results(fit, folder, profile = "p.csv"), 'unknown file key "profile"')
  expect_error(write_results(fit, folder, ",", "p.csv"), "give file names by their keys")
  expect_error(write_results(fit, folder, outfile = "a.csv", outfile = "b.csv"), "outfile is given twice")
  expect_error(write_results(fit, folder, outfile = 3), "outfile must be a file name or NULL")
  expect_error(write_results(fit, folder, dlm = ";"), "dlm must be")
  expect_error(write_results(fit, folder, outfile = "sub/irp.csv"), 'cannot write the file ".*sub/irp.csv"')
  expect_error(write_results(list(), folder), "fit must be the result of lra")
  damaged <- fit
  damaged$state <- damaged$state[-1]
  expect_error(write_results(damaged, folder), "damaged or was made by another version")
  damaged <- fit
  damaged$memberships <- damaged$memberships[, -1]
  expect_error(write_results(damaged, folder), "memberships must be a numeric matrix of 50 x 3")
})

test_that("write_report writes the page with the data's name", {
  page <- tempfile(fileext = ".html")
  on.exit(unlink(page))
  expect_identical(write_report(fit, page, data_name = "answers <x>"), page)
  text <- readLines(page, encoding = "UTF-8")
  expect_true(any(grepl("answers &lt;x&gt;", text, fixed = TRUE)))
  expect_true(any(grepl("nranks", text, fixed = TRUE)))
  expect_error(write_report(fit, file.path(tempdir(), "absent", "r.html")), "cannot write the file")
})

test_that("read_responses reads what write.csv writes, and raises the reader's warnings", {
  frame <- answer_frame(x)
  frame[] <- lapply(frame, as.integer)
  csv <- tempfile(fileext = ".csv")
  on.exit(unlink(csv))
  utils::write.csv(frame, csv)
  expect_identical(read_responses(csv, dataformat = "csv"), frame)
  without <- suppressWarnings(read_responses(csv, dataformat = "csv", idbegin = 0))
  expect_identical(names(without)[1], "1")  # the unnamed id column is item 1 now
  # The console's text, typos included; the last warning counts the rest.
  warnings <- capture_warnings(read_responses(csv, dataformat = "csv", idbegin = 0))
  expect_identical(warnings[1], sprintf('Illeagal value "S0001" is found at 2 , 1 in "%s"', csv))
  expect_match(warnings[length(warnings)], "more illeagal values are found")

  lines <- c("id;a;b", "x;1;-99", "y;0;1", "x;1;1")
  writeLines(lines, csv)
  expect_error(suppressWarnings(read_responses(csv, dataformat = "semicolon", idbegin = 1)),
               'examinee 3 repeats "x"')
  writeLines(lines[1:3], csv)
  read <- read_responses(csv, dataformat = "semicolon", idbegin = 1, na = "-99")
  expect_identical(read, data.frame(a = c(1L, 0L), b = c(NA, 1L), row.names = c("x", "y")))
  expect_error(read_responses(csv, na = "-99"), "header and na apply to delimited data")
  expect_error(read_responses(csv, dataformat = "csv", na = "1"), "na \"1\" is an answer")
  expect_error(read_responses(file.path(tempdir(), "absent.txt")), 'cannot read the file ".*absent.txt"')
})

test_that("read_responses decodes the file's encoding, and refuses UTF-16 in fixed columns", {
  file <- tempfile()
  on.exit(unlink(file))
  writeBin(c(charToRaw("id,"), as.raw(0xe4), charToRaw("1,q2\nx,1,0\n")), file)  # "\u00e41" in Latin-1
  read <- read_responses(file, dataformat = "csv", idbegin = 1, encoding = "ISO-8859-1")
  expect_identical(names(read), c("\u00e41", "q2"))
  expect_identical(Encoding(names(read))[1], "UTF-8")
  expect_error(read_responses(file, encoding = "ebcdic"), "encoding must be \"utf-8\"")
  writeBin(c(as.raw(c(0xff, 0xfe)), as.raw(rbind(charToRaw("10\n"), as.raw(0)))), file)
  expect_error(read_responses(file), "is UTF-16, and fixed columns are read from single-byte text")
})
