# Checks of the arguments: each becomes the typed value the engine takes, or
# stops with a message that says what to give instead. `call` is the call of
# the exported function, shown with the error.

.fail <- function(call, ...) stop(simpleError(paste0(...), call))

# Every compiled function returns list(value, warnings, error, interrupted):
# the warnings are raised here, after the call has returned, then the error
# or the interrupt.
.engine <- function(out, call) {
  for (text in out$warnings) warning(simpleWarning(text, call))
  if (isTRUE(out$interrupted)) .raise_interrupt()
  if (!is.null(out$error)) .fail(call, out$error)
  out$value
}

.shown <- function(x) {
  if (is.null(x)) return("NULL")
  if (is.character(x) && length(x) == 1L) return(encodeString(x, quote = "\""))
  text <- paste(format(.first(x, 3L)), collapse = ", ")
  if (length(x) == 1L) text else sprintf("c(%s%s)", text, if (length(x) > 3L) ", ..." else "")
}

.whole <- function(x, name, low, high, call) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || x != round(x) || x < low || x > high)
    .fail(call, name, " must be a whole number from ", format(low, scientific = FALSE), " to ",
          format(high, scientific = FALSE), ", not ", .shown(x))
  if (high <= .Machine$integer.max) as.integer(x) else as.double(x)
}

.number <- function(x, name, low, high = Inf, call) {
  if (!is.numeric(x) || length(x) != 1L || !is.finite(x) || x < low || x > high)
    .fail(call, name, " must be a number from ", low, if (is.finite(high)) paste(" to", high) else " up",
          ", not ", .shown(x))
  as.double(x)
}

.flag <- function(x, name, call) {
  if (!is.logical(x) || length(x) != 1L || is.na(x)) .fail(call, name, " must be TRUE or FALSE, not ", .shown(x))
  x
}

.pair <- function(x, name, call) {
  if (!is.numeric(x) || length(x) != 2L || !all(is.finite(x)) || any(x < 0))
    .fail(call, name, " must be two numbers of 0 or more (first pass, last pass), such as c(1, 0.1); not ",
          .shown(x))
  as.double(x)
}

.most_threads <- 256L

# NULL or 0: every processor the process may use; at most 256 are started.
.threads <- function(x, call) {
  if (is.null(x)) return(0L)
  min(.whole(x, "threads", 0, .Machine$integer.max, call), .most_threads)
}

.method <- function(x, call) {
  word <- if (is.character(x) && length(x) == 1L && !is.na(x)) .method_word(x)
  if (is.null(word))
    .fail(call, "method must be \"ml\", \"bayes\", \"ls\" or \"batch\" (or another word of the method key: ",
          "\"likelihood\", \"map\", \"euclid\", \"em\", ...), not ", .shown(x))
  word
}

.prior <- function(x, nranks, call) {
  if (is.null(x)) return(NULL)
  if (!is.numeric(x) || length(x) != nranks || !all(is.finite(x)) || any(x < 0) || !any(x > 0))
    .fail(call, "prior must be nranks = ", nranks, " numbers of 0 or more, one above 0; not ", .shown(x))
  as.double(x)
}

# The ids and item names of a data frame or matrix, as lra() takes them.
.labels <- function(data) {
  if (is.data.frame(data))
    list(ids = if (.row_names_info(data) > 0L) rownames(data), names = names(data))
  else list(ids = rownames(data), names = colnames(data))
}

.value_text <- function(column, i) {
  value <- if (is.list(column) && !is.data.frame(column)) column[[i]] else column[i]
  if (is.factor(value)) return(sprintf("the factor level %s", encodeString(as.character(value), quote = "\"")))
  if (is.character(value)) return(sprintf("the string %s", encodeString(value, quote = "\"")))
  if (is.list(column)) return(sprintf("the list element %s", paste(deparse(value, nlines = 1L), collapse = "")))
  if (is.numeric(value) && is.null(attr(value, "class"))) return(format(value, digits = 15L))
  paste(format(value), collapse = " ")
}

# Stops naming the first value (row-major) that is not an answer.
.bad_value <- function(data, where, labels, call) {
  i <- where[1L]
  j <- where[2L]
  column <- if (is.data.frame(data)) data[[j]] else data[, j]
  what <- .value_text(column, i)
  row <- if (is.null(labels$ids)) paste("row", i) else sprintf("row %d (%s)", i, encodeString(labels$ids[i], quote = "\""))
  col <- if (is.null(labels$names)) paste("column", j) else sprintf("column %d (%s)", j, encodeString(labels$names[j], quote = "\""))
  hint <- ""
  if (is.data.frame(data) && (is.factor(column) || is.character(column)))
    hint <- sprintf("; the column is %s: convert it, such as with as.integer(as.character(x))",
                    if (is.factor(column)) "a factor" else "character")
  else if (is.data.frame(data) && is.list(column)) hint <- "; the column is a list: give a vector of answers"
  .fail(call, row, ", ", col, ": ", what, " is not an answer; answers are 1 and 0 (numeric or integer) or ",
        "TRUE and FALSE, with NA or NaN for a missing one", hint)
}

# The response table of a data frame or matrix: list(codes, N, J, ids,
# names, seconds). `order` takes the columns in that order (1-based).
.responses <- function(data, threads, call, order = NULL, what = "data") {
  if (!is.data.frame(data) && !is.matrix(data))
    .fail(call, what, " must be a data frame or a matrix of answers (examinees x items), not ",
          class(data)[1L])
  labels <- .labels(data)
  N <- nrow(data)
  J <- if (is.null(order)) ncol(data) else length(order)
  if (N == 0L) .fail(call, what, " has no rows: give one row per examinee")
  if (J == 0L) .fail(call, what, " has no columns: give one column per item")
  if (!is.null(labels$names)) {
    labels$names <- as.character(labels$names)
    empty <- which(is.na(labels$names) | !nzchar(labels$names))
    if (length(empty))
      .fail(call, "column ", empty[1L], " of ", what, " has no name; name every column, or none (a matrix without colnames)")
    twice <- which(duplicated(labels$names))
    if (length(twice))
      .fail(call, "the column name ", encodeString(labels$names[twice[1L]], quote = "\""), " of ", what,
            " is given twice; item names must differ")
  }
  if (!is.null(labels$ids)) {
    labels$ids <- as.character(labels$ids)
    if (anyNA(labels$ids)) .fail(call, "row ", which(is.na(labels$ids))[1L], " of ", what, " has NA for its name")
  }
  source <- data
  if (is.matrix(data) && !is.logical(data) && !is.numeric(data)) {
    .bad_value(data, c(1L, if (is.null(order)) 1L else order[1L]), labels, call)
  }
  out <- .engine(.encode_responses(source, N, if (!is.null(order)) as.integer(order), threads), call)
  if (!is.null(out$bad)) .bad_value(data, out$bad, labels, call)
  if (!is.null(order) && !is.null(labels$names)) labels$names <- labels$names[order]
  list(codes = out$codes, N = N, J = J, ids = labels$ids, names = labels$names, seconds = out$seconds)
}

# The items in use as J flags '1'/'0' (a raw vector), from J logicals or the
# names of the items to keep.
.itemuse <- function(x, table, call) {
  if (is.null(x)) return(NULL)
  J <- table$J
  if (is.logical(x)) {
    if (length(x) != J || anyNA(x))
      .fail(call, "itemuse must be ", J, " TRUE/FALSE values, one per item, or the names of the items to keep")
    use <- x
  } else if (is.character(x)) {
    if (is.null(table$names))
      .fail(call, "itemuse by name needs item names, and the data have none: give ", J, " TRUE/FALSE values")
    unknown <- setdiff(x, table$names)
    if (length(unknown))
      .fail(call, "itemuse names items that the data do not have: ",
            paste(encodeString(.first(unknown, 10L), quote = "\""), collapse = ", "))
    use <- table$names %in% x
  } else {
    .fail(call, "itemuse must be ", J, " TRUE/FALSE values or a character vector of item names, not ",
          class(x)[1L])
  }
  if (!any(use)) .fail(call, "itemuse leaves no item in use")
  as.raw(ifelse(use, 0x31, 0x30))
}

# A fixed profile: list(values, mask), J x K item-major, mask '0' where a cell
# is kept and '1' where it is learned (NA).
.fixed <- function(x, table, nranks, call) {
  if (is.null(x)) return(NULL)
  J <- table$J
  K <- nranks
  if (is.data.frame(x)) x <- as.matrix(x)
  if (!is.matrix(x) || !(is.numeric(x) || is.logical(x)))
    .fail(call, "fixed must be a ", J, " x ", K, " numeric matrix (items x ranks) with NA for the cells to learn")
  if (ncol(x) != K) .fail(call, "fixed must have nranks = ", K, " columns (ranks); it has ", ncol(x))
  rows <- rownames(x)
  if (!is.null(rows) && !is.null(table$names)) {
    # Rows matched to the items by name; items without a row are learned.
    unknown <- setdiff(rows, table$names)
    if (length(unknown))
      .fail(call, "fixed has rows for items that the data do not have: ",
            paste(encodeString(.first(unknown, 10L), quote = "\""), collapse = ", "))
    if (anyDuplicated(rows)) .fail(call, "fixed has two rows for one item")
    full <- matrix(NA_real_, J, K)
    full[match(rows, table$names), ] <- x
    x <- full
  } else if (nrow(x) != J) {
    .fail(call, "fixed must have one row per item (", J, "); it has ", nrow(x))
  }
  x <- matrix(as.double(x), J, K)
  outside <- which(!is.na(x) & (x < 0 | x > 1), arr.ind = TRUE)
  if (nrow(outside))
    .fail(call, "fixed holds ", x[outside[1L, , drop = FALSE]], " for item ", outside[1L, 1L], ", rank ",
          outside[1L, 2L], ": kept values must lie from 0 to 1")
  learned <- is.na(x)
  x[learned] <- 0
  list(values = as.vector(t(x)), mask = as.raw(ifelse(as.vector(t(learned)), 0x31, 0x30)))
}

.first <- function(x, n) x[seq_len(min(n, length(x)))]
