#pragma once
// The tavrel library: latent rank analysis of test data.
//
//   responses.hpp   the response table and the readers that fill it
//   options.hpp     the options of an analysis
//   analysis.hpp    analyze() and its Result; scoring other examinees
//   statistics.hpp  the statistics a Result holds
//   tables.hpp      the statistics as the files' named columns
//   result_bytes.hpp a result as bytes and back
//   writers.hpp     the result files and the report
//   observer.hpp    messages, progress and stopping
//   failures.hpp    what the operations raise
//   version.hpp     the library's name and version

#include "tavrel/analysis.hpp"
#include "tavrel/failures.hpp"
#include "tavrel/observer.hpp"
#include "tavrel/options.hpp"
#include "tavrel/responses.hpp"
#include "tavrel/result_bytes.hpp"
#include "tavrel/statistics.hpp"
#include "tavrel/tables.hpp"
#include "tavrel/version.hpp"
#include "tavrel/writers.hpp"
