// Module-side declarations of the host binding: the exported globals and
// routines of the frame, and the host service stubs.
#ifndef MCN_FRAME_FRAME_H
#define MCN_FRAME_FRAME_H

#include <cstddef>
#include <cstdint>

#include "frame/abi.h"
#include "frame/export.h"

extern "C" {
// Set once by mcn_main, read by everything that reaches the host.
MCN_EXPORT extern void* v_global_gcb_anchor;
MCN_EXPORT extern void* v_global_pidb_anchor;
MCN_EXPORT extern std::uint64_t Exported_TKHandle;

MCN_EXPORT const mcn::ImageInfo* mcn_main(void* gcb, void* pidb);
MCN_EXPORT void* xfmuent(std::int32_t request, std::int32_t count, const mcn::FunctionItem* items,
                         const mcn::ImplEntry* functions);
MCN_EXPORT void himodcn();
MCN_EXPORT int tkvercn1(void* area);

MCN_EXPORT extern const mcn::ImageInfo vi_mcn;
MCN_EXPORT extern const mcn::ModuleRecord* const mcn_pcns[2];

// Host service stubs: each clears the flag byte of its vector and calls its
// host routine with the same arguments plus the service identifier.
#define MCN_SERVICE_STUB_DECLARATION(name, vector, slot, result, params, args) \
  MCN_EXPORT result name params;
MCN_SERVICES(MCN_SERVICE_STUB_DECLARATION)
#undef MCN_SERVICE_STUB_DECLARATION
}

namespace mcn {

inline const Gcb* gcb() { return static_cast<const Gcb*>(v_global_gcb_anchor); }

}  // namespace mcn

#endif  // MCN_FRAME_FRAME_H
