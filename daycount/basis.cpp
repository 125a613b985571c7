// parse_basis: basis recognition with the host's upper-casing.
#include "daycount/basis.h"

namespace mcn {

int parse_basis(const char* text, std::int32_t length, bool age) {
  NoTrace none;
  return recognise_basis(text, length, age, none, upper_case_in_place);
}

}  // namespace mcn
