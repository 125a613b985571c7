// The pelvoran module's own records: its module record, the record list that
// vi_mcn leads to, its function item, its entry function and its build texts.
#include "frame/frame.h"

extern "C" MCN_EXPORT std::int32_t ufyrdif(const mcn::ArgBlock* args, double* result);

namespace {

const mcn::FunctionItem fncitems[1] = {mcn::function_item("YRDIF", 2, 3)};

}  // namespace

namespace mcn {
const char kModuleCopyright[] = "Copyright (c) 2026 The pelvoran authors. All rights reserved.";
const char kModuleIdent[] = "PLV8K3QZ";
const char kBuildIdent[] = "PELVORAN-YRDIF-7A41";
}  // namespace mcn

extern "C" {

MCN_EXPORT void* pelvoran(std::int32_t request) {
  return mcn::module_entry(request, fncitems, ufyrdif);
}

MCN_EXPORT extern const mcn::ModuleRecord pcn_PELVORAN;
const mcn::ModuleRecord pcn_PELVORAN = mcn::module_record("pelvoran", pelvoran, 0x2201EA2Bu);

const mcn::ModuleRecord* const mcn_pcns[2] = {&pcn_PELVORAN, nullptr};

}  // extern "C"
