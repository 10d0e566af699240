// analyze() in parts: the responses prepared once for several analyses of
// one table, and the results computed after the estimation from the finished
// profile (what the requests ask for, each computed once).

#include <vector>

#include "common/run_views.hpp"
#include "tavrel/analysis.hpp"

namespace tavrel {

class Workers;

// The responses as every stage reads them: the mask of those that take part
// (present, of an item in use) and, where worth it, the list of present
// items, from the options' item use and listPresentFrom. Analyses of one
// table at several rank counts share one.
struct PreparedResponses {
    PreparedResponses(const ResponseTable& table, const Options& options);
    PreparedResponses(const PreparedResponses&) = delete;
    PreparedResponses& operator=(const PreparedResponses&) = delete;

    std::vector<char> itemUse;  // J flags
    std::vector<char> mask;     // N x J
    PresentItems presentItems;
    ResponseView view;          // of the table, the mask and the list
};

// analyze() on responses prepared under the same item use.
Result analyzePrepared(const PreparedResponses& prepared, const Options& options, Observer& observer);

// Fills the requested results of `result`, whose profile, fixed mask, item
// use, prior, filter and method are final. `data` carries the mask after
// item use.
void computeRequested(const ResponseView& data, const Requests& want, Result& result, Workers& workers);

}  // namespace tavrel
