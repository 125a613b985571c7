\name{datemodules_version}
\alias{datemodules_version}
\alias{datemodules_modules}
\title{The library's version and the modules it opened}
\description{
  \code{datemodules_version} gives the version of the embedding library.
  \code{datemodules_modules} gives the functions that the modules register
  and what identifies each module, the fields that \command{modhost inspect}
  shows: its image information and version block.
}
\usage{
datemodules_version()
datemodules_modules()
}
\details{
  The modules are those installed beside the embedding library, or those in
  the directory that the environment variable \env{DATEMODULES_MODULES} names;
  they are opened on first use. A module file that is skipped is a warning.
}
\value{
  \code{datemodules_version}: a character string. \code{datemodules_modules}:
  a list of \code{functions}, a data frame of name, fewest and most arguments
  and whether the results are whole days, and \code{modules}, one list for
  each module of its name, its file and its \code{identity}, a data frame of
  record, field and text.
}
\examples{
datemodules_version()
m <- datemodules_modules()
m$functions
m$modules[[1]]$identity[1:3, ]
}
