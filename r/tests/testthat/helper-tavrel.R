# Simulated answers, the console program and its files, shared by the tests.

# Answers of N examinees to J items from a logistic model: 1/0, a share
# missing (NA).
answers <- function(N = 150, J = 8, seed = 1, missing = 0.05) {
  set.seed(seed)
  ability <- rnorm(N)
  difficulty <- seq(-1.5, 1.5, length.out = J)
  p <- plogis(1.7 * outer(ability, difficulty, "-"))
  x <- (matrix(runif(N * J), N, J) < p) * 1
  x[matrix(runif(N * J), N, J) < missing] <- NA
  x
}

# x as a data frame with item names q1.. and ids, one with a comma and quotes.
answer_frame <- function(x) {
  frame <- as.data.frame(x)
  names(frame) <- paste0("q", seq_len(ncol(x)))
  ids <- sprintf("S%04d", seq_len(nrow(x)))
  ids[4] <- "Smith, \"J\""
  rownames(frame) <- ids
  frame
}

result_files <- c(outfile = "irp.csv", rankfile = "rank.csv", rmpfile = "rmp.csv", worpfile = "worp.csv",
                  uorpfile = "uorp.csv", testfile = "test.csv", itemfile = "item.csv", trpfile = "trp.csv",
                  examineefile = "examinee.csv")

# The console program (TAVREL_BINARY); the test is skipped without it, as
# inside R CMD check.
console_binary <- function() {
  path <- Sys.getenv("TAVREL_BINARY")
  if (!nzchar(path) || !file.exists(path)) skip("TAVREL_BINARY does not name the console program")
  normalizePath(path)
}

# Fixed-column data without ids: one character per answer.
write_fixed <- function(path, x) {
  lines <- apply(x, 1L, function(row) paste(ifelse(is.na(row), ".", row), collapse = ""))
  writeLines(lines, path)
}

# Runs the console program on key = value settings in `folder`; returns its
# messages.
run_console <- function(folder, settings) {
  text <- sprintf("%s = {%s};", names(settings), unlist(settings))
  writeLines(text, file.path(folder, "settings.txt"))
  old <- setwd(folder)
  on.exit(setwd(old))
  messages <- system2(console_binary(), "settings.txt", stdout = TRUE, stderr = TRUE)
  status <- attr(messages, "status")
  if (!is.null(status) && status != 0) stop("the console program failed: ", paste(messages, collapse = "\n"))
  messages
}

read_bytes <- function(folder, names = result_files) {
  lapply(setNames(file.path(folder, names), names), function(path) readBin(path, "raw", file.size(path)))
}

new_folder <- function() {
  folder <- tempfile("tavrel-test")
  dir.create(folder)
  folder
}

paeth <- function(left, up, corner) {
  p <- left + up - corner
  if (abs(p - left) <= abs(p - up) && abs(p - left) <= abs(p - corner)) left
  else if (abs(p - up) <= abs(p - corner)) up
  else corner
}

# The pixels of a PNG (8-bit RGB or RGBA, as R's devices write it) as a
# height x width x channels integer array.
read_png <- function(path) {
  bytes <- readBin(path, "raw", file.size(path))
  stopifnot(identical(bytes[1:8], as.raw(c(0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a))))
  at <- 9L
  word <- function(from) sum(as.integer(bytes[from:(from + 3L)]) * 256^(3:0))
  data <- list()
  while (at < length(bytes)) {
    size <- word(at)
    type <- rawToChar(bytes[(at + 4L):(at + 7L)])
    body <- if (size > 0) bytes[(at + 8L):(at + 7L + size)] else raw()
    if (type == "IHDR") {
      width <- word(at + 8L)
      height <- word(at + 12L)
      depth <- as.integer(body[9L])
      color <- as.integer(body[10L])
    }
    if (type == "IDAT") data[[length(data) + 1L]] <- body
    at <- at + 12L + size
  }
  stopifnot(depth == 8L, color %in% c(2L, 6L))
  channels <- if (color == 2L) 3L else 4L
  stride <- width * channels
  stream <- as.integer(memDecompress(do.call(c, data), "gzip"))
  pixels <- matrix(0L, height, stride)
  previous <- integer(stride)
  for (y in seq_len(height)) {
    start <- (y - 1L) * (stride + 1L)
    filter <- stream[start + 1L]
    row <- stream[start + 1L + seq_len(stride)]
    if (filter == 2L) {
      row <- (row + previous) %% 256L
    } else if (filter != 0L) {
      for (i in seq_len(stride)) {
        left <- if (i > channels) row[i - channels] else 0L
        up <- previous[i]
        corner <- if (i > channels) previous[i - channels] else 0L
        row[i] <- (row[i] + switch(filter, left, up, (left + up) %/% 2L, paeth(left, up, corner))) %% 256L
      }
    }
    pixels[y, ] <- row
    previous <- row
  }
  array(t(pixels), c(channels, width, height))
}
