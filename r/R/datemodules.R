# YRDIF and DATDIF of the modules, vectorised: the arguments are recycled as
# R's arithmetic recycles them, and the result keeps the names and dim of the
# longest argument. The work is one .Call per vector (src/datemodules.c).

# A date argument as the C side takes it, which reads it by its class: Date
# (days since 1970-01-01), POSIXct in UTC (seconds since 1970-01-01), texts,
# or plain numbers (date values, days since 1960-01-01).
date_argument <- function(x, argument, name) {
  if (inherits(x, "POSIXlt")) x <- as.POSIXct(x)
  if (inherits(x, "POSIXct")) {
    # Its civil date in its own time zone; no tzone is the session's zone.
    # In UTC the C side takes the day from the seconds; in another zone it
    # asks the C library for the civil date.
    tz <- attr(x, "tzone")
    tz <- if (is.null(tz)) "" else tz[[1]]
    if (tz %in% c("UTC", "GMT", "Etc/UTC", "Etc/GMT"))
      return(structure(as.double(unclass(x)), class = "POSIXct"))
    return(.Call(C_zoned_dates, as.double(unclass(x)), tz))
  }
  if (inherits(x, "Date")) return(structure(as.double(unclass(x)), class = "Date"))
  if (is.factor(x))
    stop(sprintf("%s: '%s' is a factor, not a date; use as.character() or as.Date() on it first",
                 name, argument), call. = FALSE)
  if (is.character(x)) return(as.character(x))
  if (is.logical(x) && all(is.na(x))) return(rep(NA_real_, length(x)))
  if (is.numeric(x) && !is.object(x)) return(as.double(x))
  stop(sprintf(paste0("%s: '%s' must be dates (Date, POSIXct, POSIXlt), texts or date values ",
                      "(numbers), not %s"), name, argument, class(x)[[1]]), call. = FALSE)
}

basis_argument <- function(basis, name) {
  if (is.null(basis)) return(NULL)
  if (is.logical(basis) && all(is.na(basis))) return(rep(NA_character_, length(basis)))
  if (!is.character(basis) || is.object(basis))
    stop(sprintf("%s: 'basis' must be a character vector, not %s", name, class(basis)[[1]]),
         call. = FALSE)
  basis
}

# Names, dim and dimnames of the first argument as long as the result.
shaped <- function(result, ...) {
  for (x in list(...)) {
    if (length(x) == length(result) && !is.null(x)) {
      if (!is.null(dim(x))) {
        dim(result) <- dim(x)
        dimnames(result) <- dimnames(x)
      } else if (!is.null(names(x))) {
        names(result) <- names(x)
      }
      break
    }
  }
  result
}

evaluate <- function(name, start, end, basis, cause) {
  s <- date_argument(start, "start", name)
  e <- date_argument(end, "end", name)
  b <- basis_argument(basis, name)
  lengths <- c(length(s), length(e), if (!is.null(b)) length(b))
  if (all(lengths > 0) && any(max(lengths) %% lengths != 0))
    warning(simpleWarning("longer object length is not a multiple of shorter object length",
                          sys.call(-1)))
  result <- .Call(C_evaluate, name, s, e, b, cause)
  shaped(result, start, end, basis)
}

yrdif <- function(start, end, basis = "AGE") evaluate("yrdif", start, end, basis, FALSE)

datdif <- function(start, end, basis) evaluate("datdif", start, end, basis, FALSE)

yrdif_cause <- function(start, end, basis = "AGE") evaluate("yrdif", start, end, basis, TRUE)

datdif_cause <- function(start, end, basis) evaluate("datdif", start, end, basis, TRUE)

datemodules_version <- function() .Call(C_version)

datemodules_modules <- function() {
  functions <- .Call(C_function_list)
  modules <- .Call(C_module_list)
  list(functions = data.frame(name = functions[[1]], fewest = functions[[2]],
                              most = functions[[3]], whole_days = functions[[4]]),
       modules = lapply(modules, function(m) {
         list(name = m[[1]], file = m[[2]],
              identity = data.frame(record = m[[3]], field = m[[4]], text = m[[5]]))
       }))
}
