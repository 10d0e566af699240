library(testthat)
library(tavrel)

test_check("tavrel")
