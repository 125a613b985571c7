// Module-side declarations of the host binding: the exported globals and
// routines of the frame, the host service stubs, and the small helpers that
// every implementation entry uses to read its arguments.
#ifndef MCN_FRAME_FRAME_H
#define MCN_FRAME_FRAME_H

#include <cstddef>
#include <cstdint>

#include "frame/abi.h"

// Symbols of the module's documented interface; everything else is hidden.
#define MCN_EXPORT __attribute__((visibility("default")))

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
MCN_EXPORT std::int32_t wzstrlo(char* text, std::int32_t length);
MCN_EXPORT std::int32_t wzstrup(char* text, std::int32_t length);
MCN_EXPORT std::int32_t wzsxcch(const char* src, std::int32_t srclen, char* dst,
                                std::int32_t dstlen, std::int32_t mode);
MCN_EXPORT std::int32_t wzsxrch(const char* src, std::int32_t srclen, char* dst,
                                std::int32_t dstlen, std::int32_t mode);
MCN_EXPORT void xexit(std::int32_t code, std::int32_t arg);
MCN_EXPORT double zjuldat(double date);
MCN_EXPORT std::int32_t zymdjul(double day, double* year, double* month, double* mday);
}

namespace mcn {

// What differs between the modules' build descriptions; each module defines these.
extern const char kModuleCopyright[];
extern const char kModuleIdent[];  // 8 characters
extern const char kBuildIdent[];   // 18 or 19 characters

// A module's record: its name, entry function and particular code, with the
// constants that every module record carries.
template <std::size_t N>
constexpr ModuleRecord module_record(const char (&name)[N], ModuleEntry entry, std::uint32_t code) {
  static_assert(N <= sizeof(ModuleRecord::name), "the name must leave room for its NUL");
  ModuleRecord r{kModuleRecordHead,
                 kModuleRecordWord8,
                 kModuleRecordWord16,
                 {},
                 entry,
                 kModuleRecordWord48,
                 kModuleRecordWord56,
                 code,
                 0,
                 kModuleRecordWord72};
  for (std::size_t i = 0; i + 1 < N; ++i) r.name[i] = name[i];
  return r;
}

// A function item: name, argument counts and the attribute bytes of every item.
template <std::size_t N>
constexpr FunctionItem function_item(const char (&name)[N], std::uint16_t min_args,
                                     std::uint16_t max_args) {
  static_assert(N <= sizeof(FunctionItem::name), "the name must leave room for its NUL");
  FunctionItem f{{}, min_args, max_args, kItemAttr32, {}, kItemAttr48, {}};
  for (std::size_t i = 0; i + 1 < N; ++i) f.name[i] = name[i];
  return f;
}

inline const Gcb* gcb() { return static_cast<const Gcb*>(v_global_gcb_anchor); }

// The body of a module entry function: request type 1 describes the module's
// items, 2 hands over its implementation entry; anything else yields null.
inline void* module_entry(std::int32_t request, const FunctionItem* items, ImplEntry impl) {
  const ImplEntry functions[1] = {impl};
  switch (request) {
    case kRequestItems:
      return xfmuent(kRequestItems, 1, items, nullptr);
    case kRequestVector:
      return xfmuent(kRequestVector, 1, nullptr, functions);
    default:
      return nullptr;
  }
}

// --- Implementation-entry helpers -------------------------------------------

inline void store_missing(double* slot) { __builtin_memcpy(slot, &kMissingBits, sizeof *slot); }

inline double date_argument(const ArgBlock* args, int k) {
  return *static_cast<const double*>(args->args[k].value);
}

// A date value is usable when it is a number within the host's calendar range;
// every comparison with a NaN is false, so NaNs fail too.
inline bool valid_date(double d) { return d >= kFirstDate && d < kDateLimit; }

inline const TextDescriptor* text_argument(const ArgBlock* args, int k) {
  return static_cast<const TextDescriptor*>(args->args[k].value);
}

struct CivilDate {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
};

// Converts a date value to year, month and day through the host calendar pair.
inline CivilDate host_calendar(double date) {
  const double day = zjuldat(date);
  double year, month, mday;
  zymdjul(day, &year, &month, &mday);
  return {static_cast<std::int32_t>(year), static_cast<std::int32_t>(month),
          static_cast<std::int32_t>(mday)};
}

}  // namespace mcn

#endif  // MCN_FRAME_FRAME_H
