// The tashkume module's own records: its module record, the record list that
// vi_mcn leads to, its function item, its entry function and its build texts.
#include "frame/frame.h"

extern "C" MCN_EXPORT std::int32_t ufdatdi(const mcn::ArgBlock* args, double* result);

namespace {

const mcn::FunctionItem fncitems[1] = {mcn::function_item("DATDIF", 3, 3)};

}  // namespace

namespace mcn {
const char kModuleCopyright[] = "Copyright (c) 2026 The tashkume authors. All rights reserved.";
const char kModuleIdent[] = "TSK5R9WD";
const char kBuildIdent[] = "TASHKUME-DATDIF-2C9";
}  // namespace mcn

extern "C" {

MCN_EXPORT void* tashkume(std::int32_t request) {
  return mcn::module_entry(request, fncitems, ufdatdi);
}

MCN_EXPORT extern const mcn::ModuleRecord pcn_TASHKUME;
const mcn::ModuleRecord pcn_TASHKUME = mcn::module_record("tashkume", tashkume, 0x021380C1u);

const mcn::ModuleRecord* const mcn_pcns[2] = {&pcn_TASHKUME, nullptr};

}  // extern "C"
