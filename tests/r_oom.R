# The R package under out of memory, in an R started with the failing
# allocator preloaded: the allocations of the embedding library (and of the
# C++ library under it) fail one at a time, first while the modules are
# opened, then through a session of calls, until a run has no failure left
# to make. Every failure must be an R error that says so, R must live on,
# and every call that ends must give the right result.
#
#   LD_PRELOAD=failalloc.so Rscript r_oom.R failalloc.so
shim <- commandArgs(trailingOnly = TRUE)[[1]]
dyn.load(shim)
suppressPackageStartupMessages(library(datemodules))

arm <- function(at) invisible(.C("failalloc_arm_r", as.integer(at), "libdatemodules,libstdc++"))
disarm <- function() invisible(.C("failalloc_disarm_r", 0L))
failed <- function() .C("failalloc_failed_r", 0L)[[1]] != 0L

session <- function() {
  s <- as.Date(c(a = "2019-07-01", b = "2020-02-29", c = NA))
  list(
    yrdif(s, as.Date("2021-03-01"), "ACT/ACT"),
    datdif(c("2020-02-28", "2020-01-31"), "2020-03-31", c("30/360", "ACT/ACT")),
    yrdif_cause(s, 1e9, "ACT/ACT"),
    datdif_cause(s, s, c("ACT/360", "bad", "ACT/365")),
    datemodules_version(),
    length(datemodules_modules()))
}

# One sweep: the at-th allocation fails, for at = 1, 2, ... until a run
# makes no failure; a run ends in an error that says out of memory or in
# the right results.
wrong <- 0
sweep <- function(what, run, expected) {
  at <- 0
  repeat {
    at <- at + 1
    arm(at)
    got <- tryCatch(run(), error = function(e) e)
    disarm()
    if (inherits(got, "error")) {
      if (!grepl("out of memory", conditionMessage(got), fixed = TRUE)) {
        message(what, ", failing allocation ", at, ": ", conditionMessage(got))
        wrong <<- wrong + 1
      }
    } else if (!is.null(expected) && !identical(got, expected)) {
      message(what, ", failing allocation ", at, ": wrong results")
      wrong <<- wrong + 1
    }
    if (!failed()) break
  }
  at
}

# Opening the modules (the first call opens them and keeps them open).
opened <- sweep("opening", function() yrdif(0, 366, "ACT/ACT"), 366 / 366)
expected <- session()
calls <- sweep("a session", session, expected)
if (!identical(session(), expected)) {
  message("wrong results after the sweeps")
  wrong <- wrong + 1
}
cat(sprintf("r_oom: %d runs while opening, %d through a session, none crashed\n", opened, calls))
# The calls allocate nothing today (calls == 1); opening allocates.
if (opened < 10) {
  message("the sweep reached too few allocations while opening")
  wrong <- wrong + 1
}
quit(status = if (wrong > 0) 1 else 0)
