library(testthat)
library(datemodules)
test_check("datemodules")
