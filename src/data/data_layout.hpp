#pragma once
// The layout of the response data file, resolved from the data keys once,
// before reading: the one input of both readers.

#include <string_view>

#include "common/types.hpp"
#include "tavrel/responses.hpp"

namespace tavrel {

class Observer;

// Reads `infile`, `dataformat`, `idbegin`, `idlength`, `databegin`, `nitems`,
// `firstobs`, `nobs`, `header` and `na`, applies the defaults of the format
// and tells the warnings on an unknown format and on an `na` that is an
// answer.
DataLayout resolveDataLayout(const SettingMap& settings, Observer& observer);

// The text without the blanks around it.
std::string_view trimBlanks(std::string_view text);

// '1' for a word of a correct answer (1, 1.0, TRUE, True, true), '0' for one
// of an incorrect answer (0, 0.0, FALSE, False, false), 0 for anything else.
// The text is taken as it is: trim it first.
char answerWord(std::string_view text);

}  // namespace tavrel
