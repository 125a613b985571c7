\name{yrdif}
\alias{yrdif}
\alias{datdif}
\alias{yrdif_cause}
\alias{datdif_cause}
\title{Date differences in years and days: YRDIF and DATDIF}
\description{
  \code{yrdif} is the interval from \code{start} to \code{end} in years and
  \code{datdif} the interval in days (a whole number), both from the
  \sQuote{pelvoran} and \sQuote{tashkume} modules themselves, bit for bit.
  \code{yrdif_cause} and \code{datdif_cause} say why a result is missing.
}
\usage{
yrdif(start, end, basis = "AGE")
datdif(start, end, basis)
yrdif_cause(start, end, basis = "AGE")
datdif_cause(start, end, basis)
}
\arguments{
  \item{start, end}{dates: \code{Date} (a fraction is its day), \code{POSIXct}
    or \code{POSIXlt} (the civil date in its own \code{tzone}, as
    \code{as.Date(x, tz = attr(x, "tzone"))} gives it), \code{character}
    (ISO dates \code{"yyyy-mm-dd"}, also with a time of day, or date values;
    \code{""} is missing), or numbers, date values: days from 1960-01-01.}
  \item{basis}{the day-count basis, a character vector: \code{"30/360"},
    \code{"ACT/ACT"} (or \code{"ACTUAL"}), \code{"ACT/360"}, \code{"ACT/365"}
    and, for \code{yrdif}, \code{"AGE"}. A basis is recognised by parts of its
    text, in either letter case; only its first 256 bytes count. \code{NA} is
    a basis without a value.}
}
\details{
  The arguments are recycled to the length of the longest, as R's arithmetic
  recycles them, with a warning when a length is not a multiple of another.
  The result keeps the names and dim of the longest argument. The dates are
  read in the host calendar, in which years divisible by 4000 are common:
  4000-02-29 does not exist there, and the functions take the dates from
  1582-01-01 to 20000-12-31.
}
\value{
  \code{yrdif} and \code{datdif}: a double vector; a missing result, as a
  missing or out-of-range date or a basis that is missing or names no basis
  gives, is \code{NA}. \code{yrdif_cause} and \code{datdif_cause}: a character
  vector, \code{NA} where the result is not missing, else one of
  \code{"date missing"}, \code{"date out of range (1582-01-01 to
  20000-12-31)"}, \code{"basis missing"} and \code{"basis names no basis"}.
}
\examples{
yrdif(as.Date("2019-07-01"), as.Date("2020-07-01"), "ACT/ACT")
yrdif("2000-02-29", "2010-02-28")                  # AGE: 10
datdif(as.Date("2001-01-31"), as.Date("2001-02-28"), "30/360")
born <- as.Date(c(ann = "2000-02-29", bob = "1985-07-04", cy = NA))
floor(yrdif(born, as.Date("2026-12-08")))
datdif("2019-07-01", "2020-07-01", c("30/360", "ACT/ACT", "ACT/360", "AGE"))
datdif_cause("2019-07-01", "2020-07-01", c("30/360", "AGE", NA))
}
