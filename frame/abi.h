// The binary interface between a date-function module and its host runtime.
//
// Everything that crosses between a module and the host is declared here: the
// global control block (GCB) words a module reads, the host services it calls,
// the records the host walks to register the module's function, the argument
// block of an evaluation, and the two build-description records. All records
// are little-endian with 64-bit pointers; each struct is pinned to its binding
// layout by static_asserts, so this file is the reference for both sides.
//
// Protocol in brief:
//   1. The host dlopens the module and calls mcn_main(gcb, pidb). The module
//      keeps both pointers and returns &vi_mcn.
//   2. The host follows vi_mcn.pcns to the null-terminated module record list,
//      and for each record calls record->entry(1) for an ItemDescriptor (the
//      function names and argument counts) and record->entry(2) for a
//      FunctionVector (the implementation entries).
//   3. For every evaluation the host calls the implementation entry with an
//      ArgBlock and a result slot; the status says whether the slot holds a
//      number (kStatusOk) or the missing value (kStatusMissing).
#ifndef MCN_FRAME_ABI_H
#define MCN_FRAME_ABI_H

#include <cstddef>
#include <cstdint>

#include "frame/services.h"

namespace mcn {

// ---------------------------------------------------------------------------
// Host services
// ---------------------------------------------------------------------------

// A host routine as stored in a service vector; the caller casts it to the
// routine's real type before calling it.
using ServiceRoutine = void (*)();

// A service is slot `slot` of service vector `vector`.
struct Service {
  std::uint32_t vector;
  std::uint32_t slot;
};

// Every service routine receives its service identifier, vector * 2^32 + slot,
// as one extra trailing 64-bit integer argument after its documented
// arguments, so a host can check that it was reached through the right slot.
constexpr std::uint64_t service_id(Service s) { return (std::uint64_t{s.vector} << 32) | s.slot; }

// The services a module calls, each a Service constant named after it
// (service::zjuldat), and all of them in one table.
namespace service {
#define MCN_SERVICE_CONSTANT(name, vector, slot, ...) constexpr Service name{vector, slot};
MCN_SERVICES(MCN_SERVICE_CONSTANT)
#undef MCN_SERVICE_CONSTANT
}  // namespace service

struct ServiceEntry {
  const char* name;
  Service service;
};
constexpr ServiceEntry kServices[] = {
#define MCN_SERVICE_ENTRY(name, vector, slot, ...) {#name, {vector, slot}},
    MCN_SERVICES(MCN_SERVICE_ENTRY)
#undef MCN_SERVICE_ENTRY
};

// Mode argument that the module passes to wzsxcch and wzsxrch.
constexpr std::int32_t kMultibyteMode = 1;

// xexit code for "the host allocator yielded no memory".
constexpr std::int32_t kExitNoMemory = 1016;

// The host allocator: the GCB points at this record, whose first word is the
// allocation routine. Memory from it belongs to the host; modules never free it.
struct HostAllocator;
using AllocateRoutine = void* (*)(HostAllocator* self, std::uint64_t size, std::int32_t flags);
struct HostAllocator {
  AllocateRoutine allocate;
};
static_assert(offsetof(HostAllocator, allocate) == 0);

// The allocation flags that modules pass with every request to the host
// allocator: memory for descriptors that the host takes over. Their bits are
// the host's to define; a module passes them as this one value.
constexpr std::int32_t kAllocFlags = 8198;  // 0x2006

// Record B of the text-flag chain: byte 72 is the multi-byte text flag.
struct HostTextFlags {
  std::uint8_t host0[72];
  std::uint8_t multibyte;  // nonzero: the host's text is multi-byte
};
static_assert(offsetof(HostTextFlags, multibyte) == 72);

// Record A of the text-flag chain: word 24 addresses record B, or is null.
struct HostTextRecord {
  std::uint8_t host0[24];
  const HostTextFlags* flags;
};
static_assert(offsetof(HostTextRecord, flags) == 24);
static_assert(sizeof(HostTextRecord) == 32);

// Translation table array: slot n + 2 holds the 256-byte table of table
// number n (0..4); slots 0 and 1 are the host's own.
constexpr int kTranslationTableCount = 5;
constexpr int kTranslationFirstSlot = 2;
// The table numbers: 0 and 1 are translations that go to wzsxcch and wzsxrch
// while the host's text is multi-byte; 4 always goes byte by byte.
constexpr int kTableTranslation0 = 0;
constexpr int kTableTranslation1 = 1;
constexpr int kTableUpper = 2;  // upper-casing
constexpr int kTableLower = 3;  // lower-casing
constexpr int kTableBytewise = 4;
static_assert(kTableBytewise == kTranslationTableCount - 1);

// wztxxlt's status for a table number outside 0..4.
constexpr std::int32_t kStatusBadTable = static_cast<std::int32_t>(0x8000200Au);

// The words of the global control block that modules read; the rest is the
// host's business.
struct Gcb {
  const ServiceRoutine* const* vectors;  // 0: word N addresses service vector N
  std::uint8_t* flags;                   // 8 (GCB_TSSVEC): one flag byte per vector
  std::uint8_t host16[64];
  HostAllocator* allocator;  // 80
  std::uint8_t host88[16];
  const HostTextRecord* text_record;  // 104: record A of the text-flag chain
  std::uint8_t host112[104];
  const unsigned char* const* translation_tables;  // 216
  std::uint8_t host224[432];
  std::uint64_t tk_handle;  // 656
};
static_assert(offsetof(Gcb, vectors) == 0);
static_assert(offsetof(Gcb, flags) == 8);
static_assert(offsetof(Gcb, allocator) == 80);
static_assert(offsetof(Gcb, text_record) == 104);
static_assert(offsetof(Gcb, translation_tables) == 216);
static_assert(offsetof(Gcb, tk_handle) == 656);
static_assert(sizeof(Gcb) == 664);

// ---------------------------------------------------------------------------
// Registration records
// ---------------------------------------------------------------------------

// Module entry function (exported under the module's name): request type 1
// yields an ItemDescriptor, 2 a FunctionVector, anything else null.
using ModuleEntry = void* (*)(std::int32_t request);
constexpr std::int32_t kRequestItems = 1;
constexpr std::int32_t kRequestVector = 2;

// One record per module, listed in the null-terminated array vi_mcn.pcns.
// Fields other than name and entry are host-defined constants.
struct ModuleRecord {
  std::uint64_t head;         // 0: 0xFFFFFFFFFFFF0000
  std::uint64_t word8;        // 8: 1024
  std::uint64_t word16;       // 16: 1024
  char name[16];              // 24: lower-case module name, NUL-padded
  ModuleEntry entry;          // 40
  std::uint64_t word48;       // 48: 1
  std::uint64_t word56;       // 56: 9683
  std::uint32_t module_code;  // 64: particular to each module
  std::uint32_t zero68;       // 68
  std::uint64_t word72;       // 72: 15
};
static_assert(offsetof(ModuleRecord, head) == 0);
static_assert(offsetof(ModuleRecord, word8) == 8);
static_assert(offsetof(ModuleRecord, word16) == 16);
static_assert(offsetof(ModuleRecord, name) == 24);
static_assert(offsetof(ModuleRecord, entry) == 40);
static_assert(offsetof(ModuleRecord, word48) == 48);
static_assert(offsetof(ModuleRecord, word56) == 56);
static_assert(offsetof(ModuleRecord, module_code) == 64);
static_assert(offsetof(ModuleRecord, zero68) == 68);
static_assert(offsetof(ModuleRecord, word72) == 72);
static_assert(sizeof(ModuleRecord) == 80);

// The host-defined constants of a module record, the same in every module.
constexpr std::uint64_t kModuleRecordHead = 0xFFFFFFFFFFFF0000u;
constexpr std::uint64_t kModuleRecordWord8 = 1024;
constexpr std::uint64_t kModuleRecordWord16 = 1024;
constexpr std::uint64_t kModuleRecordWord48 = 1;
constexpr std::uint64_t kModuleRecordWord56 = 9683;
constexpr std::uint64_t kModuleRecordWord72 = 15;

// One function that a module provides.
struct FunctionItem {
  char name[28];            // 0: upper-case name, zero-filled
  std::uint16_t min_args;   // 28
  std::uint16_t max_args;   // 30
  std::uint8_t attr32;      // 32: 0x42
  std::uint8_t zero33[15];  // 33
  std::uint8_t attr48;      // 48: 0x89
  std::uint8_t zero49[7];   // 49
};
static_assert(offsetof(FunctionItem, name) == 0);
static_assert(offsetof(FunctionItem, min_args) == 28);
static_assert(offsetof(FunctionItem, max_args) == 30);
static_assert(offsetof(FunctionItem, attr32) == 32);
static_assert(offsetof(FunctionItem, attr48) == 48);
static_assert(sizeof(FunctionItem) == 56);

constexpr std::uint8_t kItemAttr32 = 0x42;
constexpr std::uint8_t kItemAttr48 = 0x89;

// Result of request type 1, from the host allocator.
struct ItemDescriptor {
  std::int32_t count;         // 0: number of function items
  std::uint32_t untouched;    // 4: left as the allocator returned it
  const FunctionItem* items;  // 8: the module's static item table
};
static_assert(offsetof(ItemDescriptor, count) == 0);
static_assert(offsetof(ItemDescriptor, items) == 8);
static_assert(sizeof(ItemDescriptor) == 16);

struct ArgBlock;

// Implementation entry: writes the result slot, returns a status.
using ImplEntry = std::int32_t (*)(const ArgBlock* args, double* result);

// Result of request type 2, from the host allocator: 8 + 8 * n bytes.
struct FunctionVector {
  std::uint64_t reserved;  // 0: left as the allocator returned it
  ImplEntry entries[1];    // 8 + 8 * i: implementation of function item i
};
static_assert(offsetof(FunctionVector, entries) == 8);
static_assert(sizeof(ImplEntry) == 8);

constexpr std::uint64_t function_vector_size(std::int32_t count) {
  return 8 + 8 * static_cast<std::uint64_t>(count);
}

// ---------------------------------------------------------------------------
// Evaluation
// ---------------------------------------------------------------------------

// One argument of an evaluation: the address of its value. A numeric argument
// points to a double; a character argument to a TextDescriptor, or is null.
struct ArgEntry {
  const void* value;
  std::uint8_t host8[8];
};
static_assert(sizeof(ArgEntry) == 16);

constexpr int kMaxArgs = 3;

struct ArgBlock {
  std::uint8_t host0[32];
  std::int64_t count;  // 32: number of arguments given
  std::uint8_t host40[8];
  ArgEntry args[kMaxArgs];  // 48 + 16 * k: argument k + 1
};
static_assert(offsetof(ArgBlock, count) == 32);
static_assert(offsetof(ArgBlock, args) == 48);
static_assert(sizeof(ArgBlock) == 96);

// A character argument: length-counted bytes without a terminator.
struct TextDescriptor {
  std::uint8_t host0[8];
  std::int32_t length;  // 8
  std::uint8_t host12[4];
  const char* text;  // 16: the bytes, or null
};
static_assert(offsetof(TextDescriptor, length) == 8);
static_assert(offsetof(TextDescriptor, text) == 16);
static_assert(sizeof(TextDescriptor) == 24);

constexpr std::int32_t kStatusOk = 0;
constexpr std::int32_t kStatusMissing = 120836;  // 0x1D804

// The host's numeric missing value, a NaN stored with exactly this pattern.
constexpr std::uint64_t kMissingBits = 0xFFFFFE0000000000u;
inline double missing_value() {
  double d;
  __builtin_memcpy(&d, &kMissingBits, sizeof d);
  return d;
}

// Valid date values: days from 1960-01-01, from 1582-01-01 through 20000-12-31.
constexpr double kFirstDate = -138061.0;
constexpr double kDateLimit = 6589336.0;  // first invalid value

// ---------------------------------------------------------------------------
// Build description
// ---------------------------------------------------------------------------

// vi_mcn, the image-information record that mcn_main returns.
struct ImageInfo {
  char marker[24];                  // 0: "ZEM_Image_Information=", zero-filled
  std::uint32_t magic;              // 24: 0xB0BDEBED
  std::uint32_t zero28;             // 28
  std::uint64_t eight;              // 32: 8
  char release_short[6];            // 40: first 4 characters of the release identifier
  char release[20];                 // 46: first 16 characters of the release identifier
  char build_date[30];              // 66: "Mmm dd yyyy"
  const ModuleRecord* const* pcns;  // 96: the module record list
  const char* copyright;            // 104: one NUL-terminated line
  char level[8];                    // 112: "001"
};
static_assert(offsetof(ImageInfo, marker) == 0);
static_assert(offsetof(ImageInfo, magic) == 24);
static_assert(offsetof(ImageInfo, eight) == 32);
static_assert(offsetof(ImageInfo, release_short) == 40);
static_assert(offsetof(ImageInfo, release) == 46);
static_assert(offsetof(ImageInfo, build_date) == 66);
static_assert(offsetof(ImageInfo, pcns) == 96);
static_assert(offsetof(ImageInfo, copyright) == 104);
static_assert(offsetof(ImageInfo, level) == 112);
static_assert(sizeof(ImageInfo) == 120);

constexpr char kImageMarker[] = "ZEM_Image_Information=";
constexpr std::uint32_t kImageMagic = 0xB0BDEBEDu;

// The version block that tkvercn1 copies out: 26 words.
struct VersionBlock {
  const char* release;       // 0: 18-character release identifier
  const char* build_path;    // 8
  const char* empty2;        // 16
  std::uint64_t build_time;  // 24: seconds since 1970 UTC, low 32 bits
  const char* base;          // 32: "base"
  const char* module_ident;  // 40: 8 characters, per module
  const char* fnc;           // 48: "fnc"
  const char* shared_ident;  // 56: 19 characters, same in both modules
  const char* empty8;        // 64
  const char* version;       // 72: "version"
  const char* separator;     // 80: "::"
  const char* empty11;       // 88
  const char* hotfix;        // 96: hotfix marker field
  const char* build_ident;   // 104: 18 or 19 characters, per module
  const char* description;   // 112: description marker field
  const char* build_host;    // 120
  const char* build_stamp;   // 128: "Www Mmm dd hh:mm:ss ZZZ yyyy"
  std::uint64_t zero[9];     // 136..207
};
static_assert(offsetof(VersionBlock, build_time) == 24);
static_assert(offsetof(VersionBlock, hotfix) == 96);
static_assert(offsetof(VersionBlock, description) == 112);
static_assert(offsetof(VersionBlock, build_stamp) == 128);
static_assert(offsetof(VersionBlock, zero) == 136);
static_assert(sizeof(VersionBlock) == 208);

constexpr char kHotfixKey[] = "ZEM_VERSION_HOTFIX_NUMBER=";
constexpr char kDescriptionKey[] = "VERCON_IMAGE_DESCRIPTION=";
constexpr std::size_t kMarkerFieldLength = 65;

}  // namespace mcn

// Exported entry points of a module, as the host finds them by name.
extern "C" {
using McnMain = const mcn::ImageInfo* (*)(void* gcb, void* pidb);
using TkVercn1 = int (*)(void* area);
using Xfmuent = void* (*)(std::int32_t request, std::int32_t count, const mcn::FunctionItem* items,
                          const mcn::ImplEntry* functions);
}

#endif  // MCN_FRAME_ABI_H
