# YRDIF over a million Date pairs in R, beside R's own date arithmetic: best
# of five, seconds and evaluations per second. Run after installing the
# package: Rscript bench/r.R
library(datemodules)
n <- 1e6
set.seed(2026)
s <- as.Date("1901-01-01") + sample.int(109500, n, replace = TRUE)
e <- as.Date("1901-01-01") + sample.int(109500, n, replace = TRUE)
best <- function(f) min(vapply(1:5, function(i) system.time(f())[["elapsed"]], 0))
rows <- list(
  c("yrdif(s, e, \"ACT/ACT\"), Date", best(function() yrdif(s, e, "ACT/ACT"))),
  c("datdif(s, e, \"ACT/365\"), Date", best(function() datdif(s, e, "ACT/365"))),
  c("yrdif(s, e, \"ACT/ACT\"), character", {
    sc <- format(s); ec <- format(e); best(function() yrdif(sc, ec, "ACT/ACT")) }),
  c("as.numeric(e - s) / 365.25", best(function() as.numeric(e - s) / 365.25)))
cat(sprintf("%d Date pairs, best of 5:\n\n| what | seconds | figure |\n|---|---:|---|\n", n))
for (r in rows) {
  t <- as.numeric(r[[2]])
  cat(sprintf("| R %s | %.3f | %.1f M/s |\n", r[[1]], t, n / t / 1e6))
}
