// isleap: the host calendar's leap-year rule, with the 4000-year exception.
#include "daycount/daycount.h"

extern "C" std::int32_t isleap(std::int32_t year) {
  if (year % 4 != 0) return 0;
  if (year % 4000 == 0) return 0;
  if (year % 400 == 0) return 1;
  return year % 100 != 0 ? 1 : 0;
}
