// The records of a module, built at compile time from its declaration: the
// module record, function items, the module entry function's body, the
// image-information record and the version block.
#ifndef MCN_FRAME_MODULE_H
#define MCN_FRAME_MODULE_H

#include <cstddef>
#include <cstdint>

#include "frame/frame.h"
#include "frame/stamp.h"

namespace mcn {

// What tells one module's build description from another's.
struct ModuleTexts {
  const char* ident;        // module identifier, 8 characters
  const char* build_ident;  // build identifier, 18 or 19 characters
  const char* copyright;    // one line

  constexpr ModuleTexts(const char* i, const char* b, const char* c)
      : ident(i), build_ident(b), copyright(c) {}
};

constexpr std::size_t text_length(const char* s) {
  std::size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

constexpr bool printable_without_blanks(const char* s) {
  for (; *s != '\0'; ++s)
    if (*s <= ' ' || *s > '~') return false;
  return true;
}

constexpr bool valid_texts(const ModuleTexts& t) {
  const std::size_t build = text_length(t.build_ident);
  return text_length(t.ident) == 8 && (build == 18 || build == 19) &&
         printable_without_blanks(t.ident) && printable_without_blanks(t.build_ident) &&
         text_length(t.copyright) > 0;
}

// Whether `upper` is `name` in upper case, letter for letter.
constexpr bool same_upper_case(const char* name, const char* upper) {
  for (; *name != '\0'; ++name, ++upper)
    if (*upper != (*name >= 'a' && *name <= 'z' ? *name - 'a' + 'A' : *name)) return false;
  return *upper == '\0';
}

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

// The body of a module entry function: request type 1 describes the module's
// function items, 2 hands over their implementation entries; anything else
// yields null.
template <std::size_t N>
inline void* module_entry(std::int32_t request, const FunctionItem (&items)[N],
                          const ImplEntry (&implementations)[N]) {
  constexpr auto count = static_cast<std::int32_t>(N);
  switch (request) {
    case kRequestItems:
      return xfmuent(kRequestItems, count, items, nullptr);
    case kRequestVector:
      return xfmuent(kRequestVector, count, nullptr, implementations);
    default:
      return nullptr;
  }
}

// --- Build description ------------------------------------------------------

namespace version {
constexpr char kEmpty[] = "";
constexpr char kBase[] = "base";
constexpr char kFnc[] = "fnc";
constexpr char kVersion[] = "version";
constexpr char kSeparator[] = "::";
constexpr char kSharedIdent[] = "DC7Q-K2VF-93MN-XH4R";  // 19 characters, both modules
constexpr char kLevel[] = "001";

// Marker fields: a key, then blanks up to kMarkerFieldLength characters.
constexpr char kHotfixField[] = "ZEM_VERSION_HOTFIX_NUMBER=                                       ";
constexpr char kDescriptionField[] =
    "VERCON_IMAGE_DESCRIPTION=                                        ";

template <std::size_t N, std::size_t K>
constexpr bool is_marker_field(const char (&field)[N], const char (&key)[K]) {
  if (N != kMarkerFieldLength + 1 || field[N - 1] != '\0') return false;
  for (std::size_t i = 0; i + 1 < N; ++i)
    if (field[i] != (i + 1 < K ? key[i] : ' ')) return false;
  return true;
}
static_assert(is_marker_field(kHotfixField, kHotfixKey));
static_assert(is_marker_field(kDescriptionField, kDescriptionKey));
static_assert(text_length(kSharedIdent) == 19);

static_assert(sizeof stamp::kRelease == 19, "release identifier is 18 characters");
static_assert(sizeof stamp::kBuildStamp == 29, "build stamp is 28 characters");
static_assert(sizeof stamp::kBuildDate == 12, "build date is 11 characters");

// Copies the first `count` characters of a text into a zero-filled field.
template <std::size_t N>
constexpr void put_text(char (&field)[N], const char* text, std::size_t count) {
  for (std::size_t i = 0; i < count && i < N; ++i) field[i] = text[i];
}
}  // namespace version

constexpr VersionBlock version_block(const ModuleTexts& t) {
  using namespace version;
  return {
      stamp::kRelease,
      stamp::kBuildPath,
      kEmpty,
      stamp::kBuildTime & 0xFFFFFFFFu,
      kBase,
      t.ident,
      kFnc,
      kSharedIdent,
      kEmpty,
      kVersion,
      kSeparator,
      kEmpty,
      kHotfixField,
      t.build_ident,
      kDescriptionField,
      stamp::kBuildHost,
      stamp::kBuildStamp,
      {},
  };
}

constexpr ImageInfo image_info(const ModuleRecord* const* pcns, const char* copyright) {
  using namespace version;
  ImageInfo image{};
  put_text(image.marker, kImageMarker, sizeof kImageMarker - 1);
  image.magic = kImageMagic;
  image.eight = 8;
  put_text(image.release_short, stamp::kRelease, 4);
  put_text(image.release, stamp::kRelease, 16);
  put_text(image.build_date, stamp::kBuildDate, sizeof stamp::kBuildDate - 1);
  image.pcns = pcns;
  image.copyright = copyright;
  put_text(image.level, kLevel, sizeof kLevel - 1);
  return image;
}

}  // namespace mcn

#endif  // MCN_FRAME_MODULE_H
