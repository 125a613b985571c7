# R writes the folders of a build into what it installs: the library folder
# as the namespace's path in the package's code database, and the source
# folder in the help's paths and in each help page. This puts the folder the
# package is installed in for use and paths relative to the package's
# source in their place, so that the package is the same bytes from any
# build folder.
#
#   Rscript r-paths.R INSTALLED-PACKAGE-FOLDER FOLDER-ONCE-INSTALLED
args <- commandArgs(trailingOnly = TRUE)
package <- args[[1]]
final <- args[[2]]
name <- read.dcf(file.path(package, "DESCRIPTION"), "Package")[[1]]

# A lazy-load database (base.rdx, base.rdb) written again, entry by entry in
# the order of the file, each entry's value given to `fix` (an environment's
# entries as the list of its bindings); the entries that `fix` leaves as they
# are keep their bytes.
rewrite <- function(base, fix) {
  index <- readRDS(paste0(base, ".rdx"))
  data <- paste0(base, ".rdb")
  bytes <- readBin(data, "raw", file.size(data))
  keys <- c(index$variables, index$references)
  starts <- vapply(keys, function(k) k[[1]], 0)
  order <- order(starts)
  fresh <- paste0(base, ".new.rdb")
  close(file(fresh, "wb"))
  moved <- list()
  no_env <- function(n) stop("an environment inside an entry that is written again")
  for (i in order) {
    key <- keys[[i]]
    id <- paste(key, collapse = ":")
    if (!is.null(moved[[id]])) next
    value <- suppressWarnings(lazyLoadDBfetch(key, data, index$compressed, function(n) n))
    changed <- fix(value)
    if (identical(changed, value)) {
      at <- file.size(fresh)
      con <- file(fresh, "ab")
      writeBin(bytes[key[[1]] + seq_len(key[[2]])], con)
      close(con)
      moved[[id]] <- as.integer(c(at, key[[2]]))
    } else {
      moved[[id]] <- .Internal(lazyLoadDBinsertValue(changed, fresh, FALSE, index$compressed,
                                                     no_env))
    }
  }
  renamed <- function(ks) lapply(ks, function(k) moved[[paste(k, collapse = ":")]])
  index$variables <- renamed(index$variables)
  index$references <- renamed(index$references)
  file.rename(fresh, data)
  saveRDS(index, paste0(base, ".rdx"))
  invisible(NULL)
}

# The code: the namespace's path, in the environment of the namespace's
# information (the one whose bindings hold its exports, imports and path).
rewrite(file.path(package, "R", name), function(x) {
  if (is.list(x) && is.list(x$bindings) &&
      all(c("exports", "imports", "path") %in% names(x$bindings)))
    x$bindings$path <- final
  x
})

# The help: each page's file relative to the source, and no source
# references (they hold the source folder and the files' times); the pages
# show the same without them.
relative <- function(p) file.path("man", basename(p))
unreferenced <- function(x) {
  attr(x, "srcref") <- NULL
  if (is.list(x)) for (i in seq_along(x)) if (!is.null(x[[i]])) x[[i]] <- unreferenced(x[[i]])
  x
}
help <- file.path(package, "help", name)
pages <- new.env(hash = TRUE)
invisible(lazyLoad(help, envir = pages))
plain <- new.env(hash = TRUE)
for (n in ls(pages, all.names = TRUE)) {
  x <- unreferenced(get(n, envir = pages))
  if (!is.null(attr(x, "Rdfile"))) attr(x, "Rdfile") <- relative(attr(x, "Rdfile"))
  assign(n, x, envir = plain)
}
invisible(tools:::makeLazyLoadDB(plain, help, compress = TRUE))
paths <- readRDS(file.path(package, "help", "paths.rds"))
fixed <- relative(paths)
attr(fixed, "first") <- nchar("man/") + 1L
saveRDS(fixed, file.path(package, "help", "paths.rds"))
