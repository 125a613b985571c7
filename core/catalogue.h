// The catalogue of the functions that the modules built here declare
// (functions/*/module.def): what the core knows of each beyond what its module
// registers. Nothing else in the core knows a function by name.
#ifndef DMCORE_CATALOGUE_H
#define DMCORE_CATALOGUE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace dmcore {

struct Explanation;

struct Declaration {
  const char* name;
  int fewest;  // arguments
  int most;
  bool whole_days;     // its results are whole numbers of days, else years
  bool age_basis;      // AGE is among its bases
  int left_out_basis;  // the basis when the argument is left out (mcn::kBasisNone: none)
  // Its count step by step (core/explain.h), for arguments that passed the
  // tests: the count's parts and the result.
  void (*explain_count)(Explanation& e, double start, double end);
};

// The declarations, in name order.
std::size_t declaration_count();
const Declaration& declaration_at(std::size_t i);

// The declaration of a function registered under `name` with these argument
// counts, or null: a function of some other module is registered and
// evaluated, but not known here.
const Declaration* declaration(std::string_view name, int fewest, int most);

// The bases a declared function takes, as a person reads them: "30/360,
// ACT/ACT, ACT/360 or ACT/365", with AGE last where it is among them.
const char* bases_text(const Declaration& d);

// The names of the declared functions, or of those that take AGE among their
// bases, in name order joined by " and " ("DATDIF and YRDIF").
std::string declared_names(bool age_basis_only = false);

}  // namespace dmcore

#endif  // DMCORE_CATALOGUE_H
