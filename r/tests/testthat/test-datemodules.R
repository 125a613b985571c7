# The worked examples and surprising cases of the function reference, every
# kind of input, NA, recycling, names and dim, the time-zone rule, errors, and
# the C interface one pair at a time as the reference, bit for bit.

test_that("the worked examples of the function reference", {
  expect_identical(yrdif("2019-07-01", "2020-07-01", "ACT/ACT"), 184 / 365 + 182 / 366)
  expect_identical(datdif("2019-07-01", "2020-07-01", "ACT/ACT"), 366)
  expect_identical(yrdif("2019-07-01", "2020-07-01", c("ACT/360", "ACT/365", "30/360")),
                   c(366 / 360, 366 / 365, 1))
  expect_identical(datdif("2001-01-31", "2001-02-28", "30/360"), 28)
  expect_identical(datdif("2001-02-28", "2001-03-31", "30/360"), 30)
  expect_identical(datdif("2001-01-30", "2001-03-31", "30/360"), 60)
  expect_identical(yrdif("2007-12-28", "2008-02-28", "ACT/ACT"), 4 / 365 + 58 / 366)
  expect_identical(yrdif("2000-02-29", "2010-02-28"), 10)
  expect_identical(yrdif("2000-02-29", "2004-02-29", "AGE"), 4)
})

test_that("the surprising cases", {
  # A basis is recognised by parts of its text.
  expect_identical(yrdif("2019-07-01", "2020-07-01", c("A/360", "NOT ACTUAL", "PAGE")),
                   c(1, 184 / 365 + 182 / 366, 1))
  expect_true(is.na(yrdif("2019-07-01", "2020-07-01", "ACT")))
  expect_identical(yrdif_cause("2019-07-01", "2020-07-01", c("ACT", "365/ACT")),
                   rep("basis names no basis", 2))
  # The day counts know no 4000-year exception; the calendar does.
  expect_identical(datdif("4000-02-28", "4000-03-01", c("ACT/ACT", "30/360")), c(2, 3))
  expect_error(yrdif("4000-02-29", "4001-01-01"), "no such date in the host calendar: '4000-02-29'")
  # Reversed intervals under 30/360, and the signed zero of ACT/ACT.
  expect_identical(datdif("2021-03-31", "2021-02-28", "30/360"), -30)
  expect_identical(yrdif("2021-03-31", "2021-02-28", "30/360"), -32 / 360)
  expect_identical(1 / yrdif(5.5, 5, "ACT/ACT"), -Inf)
  # Missing results and their causes, in the functions' order.
  expect_identical(yrdif_cause(c(NA, "1581-12-31", "2000-01-01", "2000-01-01"),
                               c("2000-01-01", NA, "2001-01-01", "2001-01-01"),
                               c("ACT/ACT", "ACT/ACT", NA, "ACT/ACT")),
                   c("date missing", "date out of range (1582-01-01 to 20000-12-31)",
                     "basis missing", NA))
  expect_identical(datdif_cause("2000-01-01", "2001-01-01", "AGE"), "basis names no basis")
})

test_that("every kind of date argument gives the same result", {
  d <- as.Date(c("2019-07-01", "2000-02-29", "1582-01-01", "3999-12-31", "4100-03-01"))
  e <- as.Date(c("2020-07-01", "2001-02-28", "20000-12-31", "4000-03-01", "4100-02-28"))
  want <- yrdif(d, e, "ACT/ACT")
  expect_identical(yrdif(format(d), format(e), "ACT/ACT"), want)
  expect_identical(yrdif(as.POSIXct(format(d), tz = "UTC"), as.POSIXct(format(e), tz = "UTC"),
                         "ACT/ACT"), want)
  expect_identical(yrdif(as.POSIXlt(format(d), tz = "Asia/Tokyo"), as.POSIXlt(format(e), tz = "UTC"),
                         "ACT/ACT"), want)
  expect_identical(yrdif(d + 0.75, e + 0.25, "ACT/ACT"), want)  # a Date with a fraction is its day
  # Date values: days from 1960-01-01; before 4000 they are Date minus 1960-01-01.
  expect_identical(yrdif(as.numeric(d[1:2] - as.Date("1960-01-01")),
                         as.numeric(e[1:2] - as.Date("1960-01-01")), "ACT/ACT"), want[1:2])
  expect_identical(yrdif(14610L, 14976L), 1)
  expect_identical(yrdif("2024-01-05 23:30-05:00", "2025-01-06", "ACT/365"), 366 / 365)
})

test_that("a POSIXct is its civil date in its own time zone", {
  t <- as.POSIXct("2024-01-01 23:30", tz = "America/New_York")
  expect_identical(datdif(t, as.Date("2024-01-02"), "ACT/ACT"), 1)
  expect_identical(datdif(as.Date(t, tz = attr(t, "tzone")), as.Date("2024-01-02"), "ACT/ACT"), 1)
  tokyo <- as.POSIXct("2024-01-01 08:30", tz = "Asia/Tokyo")
  expect_identical(datdif(tokyo, as.Date("2024-01-02"), "ACT/ACT"), 1)
  attr(tokyo, "tzone") <- "UTC"  # the same moment, the day before in UTC
  expect_identical(datdif(tokyo, as.Date("2024-01-02"), "ACT/ACT"), 2)
})

test_that("NA in gives NA, and a missing result is NA_real_", {
  expect_identical(yrdif(as.Date(NA), as.Date("2020-01-01")), NA_real_)
  expect_identical(yrdif(NA, 1), NA_real_)
  expect_identical(yrdif(c("2000-01-01", NA, ""), "2001-01-01"), c(1, NA, NA))
  expect_identical(datdif(1, 2, NA), NA_real_)
  expect_identical(datdif_cause(1, 2, NA), "basis missing")
  expect_identical(yrdif(NaN, 1), NA_real_)
  expect_identical(yrdif_cause(1, 2), NA_character_)
})

test_that("recycling, names and dim follow R's arithmetic", {
  x <- c(a = 0, b = 366, c = 731)
  expect_identical(datdif(0, x, "ACT/ACT"), c(a = 0, b = 366, c = 731))
  expect_identical(names(datdif(x, 0, "ACT/ACT")), c("a", "b", "c"))
  m <- matrix(c(0, 366, 731, 1096), 2, dimnames = list(c("r1", "r2"), c("c1", "c2")))
  got <- datdif(0, m, "ACT/ACT")
  expect_identical(dim(got), c(2L, 2L))
  expect_identical(dimnames(got), dimnames(m))
  expect_identical(datdif(0, c(366, 731), c("ACT/ACT", "30/360", "ACT/360", "ACT/365")),
                   c(366, 720, 366, 731))
  expect_warning(got <- datdif(0, c(366, 731, 1096), c("ACT/ACT", "ACT/360")),
                 "not a multiple")
  expect_length(got, 3)
  expect_identical(datdif(numeric(0), 1, "ACT/ACT"), numeric(0))
  expect_identical(yrdif(character(0), character(0)), numeric(0))
})

test_that("wrong types are clear errors that name the argument", {
  expect_error(yrdif(factor("2020-01-01"), "2021-01-01"), "'start' is a factor")
  expect_error(yrdif("2020-01-01", list(1)), "'end' must be dates")
  expect_error(yrdif(TRUE, 1), "'start' must be dates")
  expect_error(datdif(1, 2, 360), "'basis' must be a character vector")
  expect_error(datdif(1, 2), "basis")
  expect_error(yrdif(c("2020-01-01", "2021-02-30"), 1), "start\\[2\\]: no such date")
  expect_error(yrdif("x\033[2J", 1), "not a date \\(yyyy-mm-dd\\) or date value: 'x\\\\x1b\\[2J'")
})

test_that("100,000 random pairs per basis agree with the C interface bit for bit", {
  set.seed(2026)
  n <- 100000
  bases <- list(YRDIF = list(NULL, "30/360", "ACT/ACT", "ACT/360", "ACT/365", "AGE"),
                DATDIF = list("30/360", "ACT/ACT", "ACT/360", "ACT/365"))
  for (name in names(bases)) {
    for (basis in bases[[name]]) {
      start <- floor(runif(n, -138061, 6589336))
      end <- ifelse(runif(n) < 0.3, floor(runif(n, -138061, 6589336)),
                    pmin(pmax(start + floor(runif(n, -36600, 36600)), -138061), 6589335))
      frac <- runif(n) < 0.2
      start[frac] <- start[frac] + runif(sum(frac))
      start[runif(n) < 0.005] <- 6589336
      end[runif(n) < 0.002] <- NA
      f <- if (name == "YRDIF") yrdif else datdif
      got <- if (is.null(basis)) f(start, end) else f(start, end, basis)
      want <- .Call(datemodules:::C_eval_each, name, start, end, if (is.null(basis)) NULL else basis)
      if (is.null(basis)) want <- .Call(datemodules:::C_eval_each, name, start, end, "AGE")
      expect_identical(got, want, label = paste(name, if (is.null(basis)) "AGE" else basis))
      # As Dates too, for the whole days among them.
      whole <- which(!is.na(start) & !is.na(end) & start == floor(start) & start < 6589336)
      dates <- as.Date("1960-01-01") + start[whole][start[whole] < 741500 - 3653]
      if (length(dates) > 0) {
        ends <- as.Date("1960-01-01") + end[whole][start[whole] < 741500 - 3653]
        keep <- ends < as.Date("4000-01-01") & dates < as.Date("4000-01-01")
        g <- if (is.null(basis)) f(dates[keep], ends[keep]) else f(dates[keep], ends[keep], basis)
        expect_identical(g, got[whole][start[whole] < 741500 - 3653][keep])
      }
    }
  }
})

test_that("the version and the modules' identities", {
  expect_match(datemodules_version(), "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  m <- datemodules_modules()
  expect_setequal(m$functions$name, c("YRDIF", "DATDIF"))
  expect_identical(m$functions$whole_days[m$functions$name == "DATDIF"], TRUE)
  names <- vapply(m$modules, `[[`, "", "name")
  expect_setequal(names, c("pelvoran", "tashkume"))
  identity <- m$modules[[1]]$identity
  expect_identical(identity$text[identity$field == "marker"], "ZEM_Image_Information=")
})

test_that("every hostile value of the table of every face has its true cause", {
  # The table sits in the source tree beside the build that the tests use.
  table <- file.path(dirname(Sys.getenv("DATEMODULES_BUILD", "")), "tests", "cases", "hostile.tsv")
  skip_if_not(file.exists(table), "the source tree's table of hostile values")
  lines <- readLines(table, encoding = "UTF-8")
  rows <- strsplit(lines[!startsWith(lines, "#") & nzchar(lines)][-1], "\t")
  end <- as.Date("2020-01-01")
  checked <- 0
  for (row in rows) {
    kind <- row[[1]]
    value <- if (length(row) >= 2) row[[2]] else ""
    cause <- if (row[[3]] == "none") NA_character_ else row[[3]]
    forms <- switch(kind,
      missing = list(NA, NA_real_, NaN, NA_character_, as.Date(NA), as.POSIXct(NA, tz = "UTC")),
      civil = list(as.Date(value), as.POSIXct(paste(value, "10:00"), tz = "UTC"),
                   as.POSIXct(paste(value, "10:00"), tz = "America/New_York")),
      days = list(structure(as.numeric(value), class = "Date")),
      seconds = list(structure(as.numeric(value), class = c("POSIXct", "POSIXt"), tzone = "UTC")),
      text = if (!grepl("\\\\x", value)) list(value) else list())
    for (x in forms) {
      if (kind == "text" && !is.na(cause) && cause %in% c("not a date (yyyy-mm-dd) or date value",
                                                        "no such date in the host calendar")) {
        expect_error(yrdif(x, end, "ACT/ACT"), cause, fixed = TRUE)
      } else {
        expect_identical(yrdif_cause(x, end, "ACT/ACT"), cause, info = paste(kind, value))
        expect_identical(is.na(yrdif(x, end, "ACT/ACT")), !is.na(cause), info = paste(kind, value))
      }
      checked <- checked + 1
    }
  }
  expect_gt(checked, 30)
})

test_that("a needed basis left out says so, and UTC date-times are their UTC day", {
  expect_error(datdif(0, 366, NULL), "the basis is needed")
  t <- as.POSIXct(c("2020-01-01 23:59:59", "1999-12-31 00:00:00", NA), tz = "UTC")
  expect_identical(datdif(t, as.Date("2020-01-02"), "ACT/ACT"), c(1, 7307, NA))
  expect_identical(yrdif(t, as.Date("2021-01-01")), yrdif(as.Date(t, tz = "UTC"), as.Date("2021-01-01")))
})

test_that("date-times in any zone are the civil dates that as.Date gives there", {
  set.seed(23)
  seconds <- c(runif(3000, -1.3e10, 1.3e10), -0.5, 0, 86399.5, NA, -Inf)
  zone <- Sys.getenv("TZ", unset = NA)
  for (tz in c("", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu", "Pacific/Apia",
               "Europe/London", "UTC")) {
    x <- .POSIXct(seconds, tz = if (nzchar(tz)) tz else NULL)
    days <- as.Date(x, tz = tz)
    expect_identical(datdif(x, as.Date("2000-01-01"), "ACT/ACT"),
                     datdif(days, as.Date("2000-01-01"), "ACT/ACT"), info = tz)
    expect_identical(yrdif_cause(x, 0, "ACT/ACT"), yrdif_cause(days, 0, "ACT/ACT"), info = tz)
    # A time far past the calendar was given: out of range, not missing.
    far <- .POSIXct(c(1e300, -1e300, 1e18), tz = if (nzchar(tz)) tz else NULL)
    expect_identical(yrdif_cause(far, 0, "ACT/ACT"),
                     rep("date out of range (1582-01-01 to 20000-12-31)", 3), info = tz)
  }
  # The session's zone is put back as it was.
  expect_identical(Sys.getenv("TZ", unset = NA), zone)
})
