#pragma once
// The results analyze() computes after the estimation, from the finished
// profile: what the requests ask for, each computed once.

#include "common/run_views.hpp"
#include "tavrel/analysis.hpp"

namespace tavrel {

class Workers;

// Fills the requested results of `result`, whose profile, fixed mask, item
// use, prior, filter and method are final. `data` carries the mask after
// item use.
void computeRequested(const ResponseView& data, const Requests& want, Result& result, Workers& workers);

}  // namespace tavrel
