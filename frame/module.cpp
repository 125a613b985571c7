// A module's own records, made from its declaration (MCN_MODULE_DECLARATION,
// a functions/*/module.def file): the function items and implementation
// entries, the module entry function and module record, the record list, the
// image-information record that mcn_main returns and the version block that
// tkvercn1 copies out. Everything is laid down at build time; nothing runs at
// load time.
#include "frame/module.h"

#include <cstring>

// The implementation entries that the declaration names.
#define MCN_MODULE(...)
// (Its count and results are the embedding library's concern, not the frame's.)
#define MCN_FUNCTION(name, fewest, most, impl, ...) \
  extern "C" MCN_EXPORT std::int32_t impl(const mcn::ArgBlock* args, double* result);
#define MCN_ALSO_EXPORT(symbol)
#include MCN_MODULE_DECLARATION
#undef MCN_FUNCTION

// The function table: item i describes implementation entry i. The static
// records keep their plain names in the symbol table (a file-static name is
// otherwise mangled).
#define MCN_FUNCTION(name, fewest, most, impl, ...) mcn::function_item(#name, fewest, most),
static const mcn::FunctionItem fncitems[] __asm__("fncitems") = {
#include MCN_MODULE_DECLARATION
};
#undef MCN_FUNCTION
#define MCN_FUNCTION(name, fewest, most, impl, ...) impl,
static const mcn::ImplEntry implementations[] = {
#include MCN_MODULE_DECLARATION
};
#undef MCN_FUNCTION
#undef MCN_MODULE
static_assert(sizeof fncitems / sizeof *fncitems ==
              sizeof implementations / sizeof *implementations);

// The module's texts, and its entry function, record and record list, under
// the names that the host looks for: the module's name and pcn_ with the name
// in upper case.
#define MCN_FUNCTION(...)
#define MCN_MODULE(name, NAME, code, ident, build_ident, copyright)                       \
  namespace {                                                                             \
  constexpr mcn::ModuleTexts kTexts{ident, build_ident, copyright};                       \
  static_assert(mcn::valid_texts(kTexts), "identifiers of the documented lengths");       \
  static_assert(mcn::same_upper_case(#name, #NAME), "the record's name is the module's"); \
  }                                                                                       \
  extern "C" {                                                                            \
  MCN_EXPORT void* name(std::int32_t request) {                                           \
    return mcn::module_entry(request, fncitems, implementations);                         \
  }                                                                                       \
  MCN_EXPORT extern const mcn::ModuleRecord pcn_##NAME;                                   \
  const mcn::ModuleRecord pcn_##NAME = mcn::module_record(#name, name, code);             \
  const mcn::ModuleRecord* const mcn_pcns[2] = {&pcn_##NAME, nullptr};                    \
  }
#include MCN_MODULE_DECLARATION
#undef MCN_MODULE
#undef MCN_FUNCTION
#undef MCN_ALSO_EXPORT

static constexpr mcn::VersionBlock info __asm__("info") = mcn::version_block(kTexts);

namespace {
// constexpr makes sure that the record is laid down at build time.
constexpr mcn::ImageInfo kImageInfo = mcn::image_info(mcn_pcns, kTexts.copyright);
}  // namespace

extern "C" {

const mcn::ImageInfo vi_mcn = kImageInfo;

int tkvercn1(void* area) {
  std::memcpy(area, &info, sizeof info);
  return 0;
}

}  // extern "C"
