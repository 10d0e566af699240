# Writes r/data/demo_responses.rda: the demo's response data
# (examples/demo_data.txt, fixed columns with ids from column 1) read with the
# package's own reader. Run from the repository's top folder with the package
# installed:  Rscript r/tools/demo_data.R
library(tavrel)
demo_responses <- read_responses("examples/demo_data.txt", idbegin = 1)
save(demo_responses, file = "r/data/demo_responses.rda", compress = "xz", version = 2)
