#include "core/catalogue.h"

#include <cstdio>

#include "core/explain.h"
#include "functions/datdif/days.h"
#include "functions/yrdif/years.h"

namespace dmcore {

namespace {

enum class Results : bool { years, days };

// One entry a function declaration: the name and argument counts its module
// registers, its results, and the bases, the basis left out and the explainer
// of its count (functions/COUNT/, namespace mcn::COUNT).
#define MCN_MODULE(...)
#define MCN_ALSO_EXPORT(...)
#define MCN_FUNCTION(name, fewest, most, impl, count, results) \
  Declaration{#name,                                           \
              fewest,                                          \
              most,                                            \
              Results::results == Results::days,               \
              mcn::count::kAgeBasis,                           \
              mcn::count::kLeftOutBasis,                       \
              &explain_##count},
constexpr Declaration kDeclarations[] = {
#include "functions/datdif/module.def"
#include "functions/yrdif/module.def"
};
#undef MCN_FUNCTION
#undef MCN_ALSO_EXPORT
#undef MCN_MODULE

constexpr std::size_t kCount = sizeof kDeclarations / sizeof *kDeclarations;

// A basis may be left out only where the declaration says what it is then.
constexpr bool consistent() {
  for (const Declaration& d : kDeclarations)
    if ((d.fewest < 3) != (d.left_out_basis != mcn::kBasisNone) || d.fewest > d.most) return false;
  return true;
}
static_assert(consistent(), "a function that may be called with two arguments has a basis then");

}  // namespace

std::size_t declaration_count() { return kCount; }

const Declaration& declaration_at(std::size_t i) { return kDeclarations[i]; }

const Declaration* declaration(std::string_view name, int fewest, int most) {
  for (const Declaration& d : kDeclarations)
    if (name == d.name && fewest == d.fewest && most == d.most) return &d;
  return nullptr;
}

const char* bases_text(const Declaration& d) {
  // Both lists are written once, into buffers of their own: the text is
  // handed out to C callers, so making it must not allocate.
  struct Texts {
    char list[2][80] = {};
    Texts() {
      for (int age = 0; age < 2; ++age) {
        const int last = age ? mcn::kBasisAge : mcn::kBasisAct365;
        int n = 0;
        for (int code = mcn::kBasis30360; code <= last; ++code)
          n += std::snprintf(list[age] + n, sizeof list[age] - n, "%s%s",
                             code == mcn::kBasis30360 ? ""
                             : code == last           ? " or "
                                                      : ", ",
                             basis_name(code));
      }
    }
  };
  static const Texts texts;
  return texts.list[d.age_basis ? 1 : 0];
}

std::string declared_names(bool age_basis_only) {
  std::string names;
  for (const Declaration& d : kDeclarations) {
    if (age_basis_only && !d.age_basis) continue;
    if (!names.empty()) names += " and ";
    names += d.name;
  }
  return names;
}

}  // namespace dmcore
