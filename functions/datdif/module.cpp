// The tashkume module's own records: its module record, the record list that
// vi_mcn leads to, its function item, its entry function and its build texts.
#include "frame/frame.h"

extern "C" MCN_EXPORT std::int32_t ufdatdi(const mcn::ArgBlock* args, double* result);

namespace {

const mcn::FunctionItem fncitems[1] = {
    {"DATDIF", 3, 3, mcn::kItemAttr32, {}, mcn::kItemAttr48, {}},
};

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
const mcn::ModuleRecord pcn_TASHKUME = {
    mcn::kModuleRecordHead, 1024, 1024, "tashkume", tashkume, 1, 9683, 0x021380C1u, 0, 15,
};

const mcn::ModuleRecord* const mcn_pcns[2] = {&pcn_TASHKUME, nullptr};

}  // extern "C"
