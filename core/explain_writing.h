// What the writers of an explanation (its text and its JSON) share: how a
// number and a date of the engine are written.
#ifndef DMCORE_EXPLAIN_WRITING_H
#define DMCORE_EXPLAIN_WRITING_H

#include <string>

#include "daycount/daycount.h"

namespace dmcore {

// A number as every face writes it: the shortest text that reads back to it.
std::string number(double v);
// A date as the engine counts it (30/360 may make a day 30 of any month): yyyy-mm-dd.
std::string civil(const mcn::CivilDate& d);

}  // namespace dmcore

#endif  // DMCORE_EXPLAIN_WRITING_H
