# The report's figures in base graphics.

plot.tavrel_lra <- function(x, type = c("irp", "ranks", "score", "convergence"), items = NULL, ...) {
  call <- sys.call()
  .check_fit(x, call)
  type <- match.arg(type)
  switch(type,
         irp = .plot_profiles(x, items, call, ...),
         ranks = .plot_ranks(x, ...),
         score = .plot_score(x, call, ...),
         convergence = .plot_convergence(x, ...))
  invisible(x)
}

.counts <- function(fit, call) .engine(.plot_counts(fit$state), call)

# The item reference profiles, a panel per item, six by six per page, with
# the share of correct answers among the examinees of each estimated rank
# who answered the item.
.plot_profiles <- function(fit, items, call, ...) {
  profile <- fit$profile
  names <- rownames(profile)
  inuse <- which(!is.na(profile[, 1L]))
  if (is.null(items)) {
    chosen <- inuse
  } else if (is.character(items)) {
    chosen <- match(items, names)
    if (anyNA(chosen))
      .fail(call, "items names items the fit does not have: ",
            paste(encodeString(.first(items[is.na(chosen)], 10L), quote = "\""), collapse = ", "))
  } else if (is.numeric(items) && all(items == round(items)) && all(items >= 1 & items <= nrow(profile))) {
    chosen <- as.integer(items)
  } else {
    .fail(call, "items must be item names or numbers from 1 to ", nrow(profile), ", or NULL for every item in use")
  }
  chosen <- chosen[chosen %in% inuse]
  if (!length(chosen)) .fail(call, "no item of items is in use")
  counts <- .counts(fit, call)
  shares <- ifelse(counts$answered > 0, counts$correct / pmax(counts$answered, 1), NA_real_)
  K <- ncol(profile)
  columns <- min(length(chosen), 6L)
  rows <- min(ceiling(length(chosen) / columns), 6L)
  perpage <- rows * columns
  old <- par(mfrow = c(rows, columns), mar = c(2.2, 2.2, 1.6, 0.4), oma = c(2.5, 2.5, 2, 0), mgp = c(1.2, 0.4, 0),
             tcl = -0.25)
  on.exit(par(old))
  if (length(chosen) > perpage && dev.interactive()) {
    ask <- devAskNewPage(TRUE)
    on.exit(devAskNewPage(ask), add = TRUE)
  }
  for (p in seq_along(chosen)) {
    j <- chosen[p]
    plot.new()
    plot.window(xlim = c(0.7, K + 0.3), ylim = c(0, 1))
    abline(h = 0.5, col = "grey85")
    lines(seq_len(K), profile[j, ], type = "o", pch = 19, cex = 0.7, col = "#0072b2", ...)
    points(seq_len(K), shares[j, ], pch = 0, cex = 0.8, col = "#d55e00")
    box(col = "grey40")
    axis(1, at = seq_len(K), cex.axis = 0.8)
    axis(2, at = c(0, 0.5, 1), las = 1, cex.axis = 0.8)
    title(main = names[j], cex.main = 0.95, font.main = 1)
    if (p %% perpage == 0L || p == length(chosen)) {
      mtext("Latent rank", side = 1, outer = TRUE, line = 1)
      mtext("Probability correct", side = 2, outer = TRUE, line = 1)
      mtext("Item reference profiles (dots) and observed share correct in the estimated rank (squares)",
            side = 3, outer = TRUE, line = 0.5, cex = 0.85)
    }
  }
}

# Per rank, the examinees whose estimated rank it is and their summed
# memberships (bars), and the test reference profile (dashed, right axis).
.plot_ranks <- function(fit, ...) {
  ranks <- fit$rank_statistics
  K <- nrow(ranks)
  heights <- rbind(ranks$latent_rank_distribution, ranks$rank_membership_distribution)
  old <- par(mar = c(4, 4, 1, 4))
  on.exit(par(old))
  top <- max(heights, 1) * 1.3  # room for the legend
  centres <- barplot(heights, beside = TRUE, names.arg = seq_len(K), col = c("#0072b2", "#e69f00"),
                     border = NA, ylim = c(0, top), xlab = "Latent rank", ylab = "Examinees", las = 1, ...)
  middle <- colMeans(centres)
  inuse <- fit$test$items
  scale <- top / max(inuse, 1)
  lines(middle, ranks$test_reference_profile * scale, lty = 2, lwd = 2)
  points(middle, ranks$test_reference_profile * scale, pch = 18, cex = 1.4)
  ticks <- pretty(c(0, inuse))
  axis(4, at = ticks * scale, labels = ticks, las = 1)
  mtext("Expected score", side = 4, line = 2.5)
  legend("topleft", c("Latent rank distribution", "Rank membership distribution", "Test reference profile"),
         fill = c("#0072b2", "#e69f00", NA), border = NA, lty = c(NA, NA, 2), pch = c(NA, NA, 18),
         bty = "n", cex = 0.85)
}

# The examinees by number-right score (across) and estimated rank (upwards);
# darker is more.
.plot_score <- function(fit, call, ...) {
  cells <- .counts(fit, call)$score_rank
  scores <- seq_len(nrow(cells)) - 1L
  K <- ncol(cells)
  shown <- cells
  shown[shown == 0] <- NA
  old <- par(mar = c(4, 4, 2, 1))
  on.exit(par(old))
  image(scores, seq_len(K), shown, col = rev(gray.colors(32, start = 0.1, end = 0.9)),
        xlab = "Number-right score", ylab = "Latent rank", axes = FALSE, ...)
  axis(1)
  axis(2, at = seq_len(K), las = 1)
  box()
  title(main = "Examinees by score and rank", font.main = 1)
}

# The traced log-likelihood per response cell after each pass of the batch
# estimation; the sequential methods trace nothing.
.plot_convergence <- function(fit, ...) {
  trace <- fit$trace
  if (.method_of(fit) != "batch" || !length(trace)) {
    plot.new()
    text(0.5, 0.5, paste("No convergence trace: the sequential methods run every one of their",
                         "passes (maxiter)\nwith a shrinking learning rate and trace no value that could converge."),
         cex = 0.9)
    return(invisible())
  }
  old <- par(mar = c(4, 5, 2, 1))
  on.exit(par(old))
  passes <- seq_along(trace)
  graphics::plot(passes, trace, type = if (length(trace) <= 60L) "o" else "l", pch = 19, cex = 0.6,
                 xlab = "Pass", ylab = "", las = 1, ...)
  mtext("Log-likelihood / (nN)", side = 2, line = 4)
  title(main = if (isTRUE(fit$converged)) sprintf("Converged after %d passes", fit$passes)
               else sprintf("Not converged after %d passes", fit$passes), font.main = 1)
}
