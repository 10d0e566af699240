#pragma once
// Sequential rank learning: every pass visits the examinees in a shuffled
// order and moves the profile cells of each examinee's winning rank and its
// neighbours toward the examinee's responses.

#include <cstddef>
#include <cstdint>
#include <atomic>
#include <span>
#include <thread>

#include "common/run_views.hpp"
#include "common/workers.hpp"
#include "estimation/random.hpp"

namespace tavrel {

class Observer;

struct LearningSchedule {
    std::int32_t maxiter;  // T, number of passes
    double alpha1;         // rate factor at the first pass
    double alphat;         // rate factor at the last pass
    double sigma1;         // neighbourhood width at the first pass
    double sigmat;         // neighbourhood width at the last pass
};

// One shuffle pass: one draw per position, partner draw % n.
void shuffleExaminees(std::span<std::int32_t> order, Lcg& generator);

// The rate for rank k when rank w won, at pass t.
double learningRate(std::int32_t k, std::int32_t w, std::int32_t t, const LearningSchedule& schedule,
                    std::int32_t nranks, std::int32_t nexaminees);

// Sorts each item's K values into ascending order.
void sortProfileIncreasing(std::span<double> profile, std::size_t nranks);

// Below this many cells (J * K) a step is too short to share between threads.
inline constexpr std::size_t kSplitRanksFromCells = 256;

// Counts the passes of runs that go on side by side and shows them as one
// line of progress: a dot whenever 20 * passes is a multiple of all their
// passes, as one run of that many passes would. Any thread may count; the
// dots are told on the thread that made the object, as it counts or at the
// end.
class PassProgress {
public:
    PassProgress(Observer& observer, std::int64_t totalPasses);
    void passDone();
    // Tells the dots still owed and the line's end (on the owner's thread).
    void finish();

private:
    void tellOwed();
    Observer& observer_;
    std::int64_t total_;
    std::thread::id owner_;
    std::atomic<std::int64_t> done_{0};
    std::int64_t told_ = 0;  // passes whose dot, if any, is told
};

struct SequentialSettings {
    LearningSchedule schedule;
    std::int32_t seed;  // of the examinee order; 0 or less takes the clock
    char method;        // the measure that picks each examinee's winning rank
    bool increase;      // sort every item's profile after each pass
    // Each step's ranks are split over the workers from this many cells on.
    std::size_t splitRanksFromCells = kSplitRanksFromCells;
    // Runs side by side count their passes here and tell no progress of their own.
    PassProgress* progress = nullptr;
};

// Runs maxiter passes on the model's profile and returns the seed used (the
// clock's when the settings give 0 or less). Tells "Now calculating " and the
// progress dots; asks whether to stop after every pass and every few
// thousand examinees. With several workers and enough cells,
// each examinee's step is split by ranks ('M' and 'B'); the visiting order
// and the generator stay on the calling thread, and every number is the same
// for any number of workers.
std::int32_t learnSequential(const ResponseView& data, const Model& model, const SequentialSettings& settings,
                             Workers& workers, Observer& observer);

}  // namespace tavrel
