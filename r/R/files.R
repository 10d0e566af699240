# The files: the console program's result files and report from a fit, and
# its readers of response data.

# The result files by their keys, in the order they are written, with the
# demo's names.
.result_files <- c(outfile = "irp.csv", rankfile = "rank.csv", rmpfile = "rmp.csv", worpfile = "worp.csv",
                   uorpfile = "uorp.csv", testfile = "test.csv", itemfile = "item.csv", trpfile = "trp.csv",
                   examineefile = "examinee.csv")

.delimiters <- c("," = ",", comma = ",", c = ",", "\t" = "\t", tab = "\t", t = "\t", " " = " ", space = " ",
                 s = " ")

# The delimiter of dlm as the key dlm takes it.
.delimiter <- function(dlm, call) {
  word <- if (is.character(dlm) && length(dlm) == 1L && !is.na(dlm)) {
    if (dlm %in% names(.delimiters)) dlm else tolower(dlm)
  }
  if (is.null(word) || !word %in% names(.delimiters))
    .fail(call, "dlm must be \",\", \"\\t\" or \" \" (or \"comma\", \"tab\", \"space\"), not ", .shown(dlm))
  .delimiters[[word]]
}

.labels_of <- function(fit) {
  list(ids = names(fit$ranks), names = if (.has_item_names(fit)) rownames(fit$profile))
}

write_results <- function(fit, dir, dlm = ",", ...) {
  call <- sys.call()
  .check_fit(fit, call)
  names <- list(...)
  keys <- names(names)
  if (length(names) && (is.null(keys) || any(!nzchar(keys))))
    .fail(call, "give file names by their keys, such as outfile = \"profile.csv\"; the keys are ",
          paste(names(.result_files), collapse = ", "))
  twice <- keys[duplicated(keys)]
  if (length(twice)) .fail(call, twice[1L], " is given twice")
  unknown <- setdiff(keys, names(.result_files))
  if (length(unknown))
    .fail(call, "unknown file key ", encodeString(unknown[1L], quote = "\""), "; the keys are ",
          paste(names(.result_files), collapse = ", "))
  files <- as.list(.result_files)
  for (key in keys) {
    name <- names[[key]]
    if (!is.null(name) && !(is.character(name) && length(name) == 1L && !is.na(name) && nzchar(name)))
      .fail(call, key, " must be a file name or NULL (not written), not ", .shown(name))
    files[key] <- list(name)
  }
  if (!is.character(dir) || length(dir) != 1L || is.na(dir)) .fail(call, "dir must be the name of a folder")
  if (!dir.exists(dir)) .fail(call, "the folder ", encodeString(dir, quote = "\""), " does not exist; create it first")
  delimiter <- .delimiter(dlm, call)
  paths <- vapply(files, function(name) if (is.null(name)) NA_character_ else file.path(dir, name), "")
  labels <- .labels_of(fit)
  .engine(.write_results(fit$state, fit$ranks, fit$memberships, fit$distances, labels$ids, labels$names,
                         unname(paths), delimiter, 0L, FALSE), call)
  invisible(paths[!is.na(paths)])
}

write_report <- function(fit, file, data_name = NULL, sweep = NULL) {
  call <- sys.call()
  .check_fit(fit, call)
  if (!is.character(file) || length(file) != 1L || is.na(file) || !nzchar(file))
    .fail(call, "file must be the name of the report's file, such as \"report.html\"")
  if (is.null(data_name)) data_name <- "(data frame)"
  if (!is.character(data_name) || length(data_name) != 1L || is.na(data_name))
    .fail(call, "data_name must be a character string or NULL, not ", .shown(data_name))
  if (!is.null(sweep)) sweep <- .sweep_columns(sweep, call)
  labels <- .labels_of(fit)
  .engine(.write_report(fit$state, fit$ranks, fit$memberships, fit$distances, labels$ids, labels$names,
                        file, data_name, sweep, FALSE), call)
  invisible(file)
}

.formats <- c(fixed = "", csv = ",", tsv = "\t", semicolon = ";")
.answer_words <- c("1", "1.0", "TRUE", "True", "true", "0", "0.0", "FALSE", "False", "false")

read_responses <- function(file, dataformat = "fixed", header = NULL, na = NULL, idbegin = NULL, idlength = NULL,
                           databegin = NULL, nitems = NULL, firstobs = NULL, nobs = NULL, encoding = "utf-8",
                           verbose = FALSE) {
  call <- sys.call()
  if (!is.character(file) || length(file) != 1L || is.na(file) || !nzchar(file))
    .fail(call, "file must be the name of a response data file")
  if (!is.character(dataformat) || length(dataformat) != 1L || !tolower(dataformat) %in% names(.formats))
    .fail(call, "dataformat must be \"fixed\", \"csv\", \"tsv\" or \"semicolon\", not ", .shown(dataformat))
  delimiter <- .formats[[tolower(dataformat)]]
  delimited <- nzchar(delimiter)
  # Each key given is checked; the library completes the layout as it does a
  # setting file's.
  big <- 2^53
  given <- function(x, name, low, high) if (!is.null(x)) .whole(x, name, low, high, call)
  idbegin <- given(idbegin, "idbegin", 0, big)
  idlength <- given(idlength, "idlength", 0, .Machine$integer.max)
  databegin <- given(databegin, "databegin", 0, big)
  nitems <- given(nitems, "nitems", 0, .Machine$integer.max)
  firstobs <- given(firstobs, "firstobs", 1, big)
  nobs <- given(nobs, "nobs", 0, big)
  word <- if (is.character(encoding) && length(encoding) == 1L && !is.na(encoding)) .encoding_word(encoding)
  if (is.null(word))
    .fail(call, "encoding must be \"utf-8\", \"cp932\", \"cp1252\", \"latin1\", \"utf-16\" or \"utf-16be\" ",
          "(or another word of the encoding key, such as \"shift_jis\"), not ", .shown(encoding))
  verbose <- .flag(verbose, "verbose", call)
  if (delimited) {
    if (!is.null(header)) header <- .flag(header, "header", call)
    if (!is.null(idlength) && idlength != 0)
      .fail(call, "idlength applies to fixed columns; delimited ids keep their own length")
    if (!is.null(na)) {
      if (!is.character(na) || length(na) != 1L || is.na(na)) .fail(call, "na must be a character string, such as \"-99\"")
      if (trimws(na, whitespace = "[ \t\r\n\v\f]") %in% .answer_words)
        .fail(call, "na ", encodeString(na, quote = "\""), " is an answer; give a text that means a missing answer, such as \"-99\"")
    }
  } else if (!is.null(header) || !is.null(na)) {
    .fail(call, "header and na apply to delimited data (dataformat \"csv\", \"tsv\" or \"semicolon\")")
  }

  read <- .engine(.read_responses(path.expand(file), delimiter, idbegin, idlength, databegin, nitems, firstobs,
                                  nobs, header, na, word, verbose), call)
  columns <- read$columns
  J <- length(columns)
  names(columns) <- if (length(read$names)) ifelse(nzchar(read$names), read$names, as.character(seq_len(J)))
                    else as.character(seq_len(J))
  N <- if (J) length(columns[[1L]]) else length(read$ids)
  rows <- .set_row_names(N)
  if (!is.null(read$ids)) {
    again <- anyDuplicated(read$ids)
    if (again)
      .fail(call, "the file's ids are not unique (examinee ", again, " repeats ",
            encodeString(read$ids[again], quote = "\""), "), and row names must be; ",
            "make them unique in the file, or read it without ids")
    rows <- read$ids
  }
  structure(columns, names = names(columns), row.names = rows, class = "data.frame")
}
