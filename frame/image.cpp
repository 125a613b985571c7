// The image-information record that mcn_main returns, and the version block
// that tkvercn1 copies out. Both are fixed at build time.
#include <cstring>

#include "frame/frame.h"
#include "frame/stamp.h"

namespace {

using namespace mcn;

constexpr char kEmpty[] = "";
constexpr char kBase[] = "base";
constexpr char kFnc[] = "fnc";
constexpr char kVersion[] = "version";
constexpr char kSeparator[] = "::";
constexpr char kSharedIdent[] = "DC7Q-K2VF-93MN-XH4R";  // 19 characters, both modules

// Marker fields: a key, then blanks up to 65 characters.
constexpr char kHotfixField[] = "ZEM_VERSION_HOTFIX_NUMBER=                                       ";
constexpr char kDescriptionField[] =
    "VERCON_IMAGE_DESCRIPTION=                                        ";

// A marker field is its key, then blanks to kMarkerFieldLength characters.
template <std::size_t N, std::size_t K>
constexpr bool is_marker_field(const char (&field)[N], const char (&key)[K]) {
  if (N != kMarkerFieldLength + 1 || field[N - 1] != '\0') return false;
  for (std::size_t i = 0; i + 1 < N; ++i)
    if (field[i] != (i + 1 < K ? key[i] : ' ')) return false;
  return true;
}
static_assert(is_marker_field(kHotfixField, kHotfixKey));
static_assert(is_marker_field(kDescriptionField, kDescriptionKey));

static_assert(sizeof stamp::kRelease == 19, "release identifier is 18 characters");
static_assert(sizeof stamp::kBuildStamp == 29, "build stamp is 28 characters");
static_assert(sizeof stamp::kBuildDate == 12, "build date is 11 characters");

const VersionBlock info = {
    stamp::kRelease,
    stamp::kBuildPath,
    kEmpty,
    stamp::kBuildTime & 0xFFFFFFFFu,
    kBase,
    kModuleIdent,
    kFnc,
    kSharedIdent,
    kEmpty,
    kVersion,
    kSeparator,
    kEmpty,
    kHotfixField,
    kBuildIdent,
    kDescriptionField,
    stamp::kBuildHost,
    stamp::kBuildStamp,
    {},
};

// Copies the first `count` characters of a text into a zero-filled field.
template <std::size_t N, std::size_t M>
constexpr void put_text(char (&field)[N], const char (&text)[M], std::size_t count) {
  for (std::size_t i = 0; i < count && i < N; ++i) field[i] = text[i];
}

constexpr ImageInfo make_image_info() {
  ImageInfo image{};
  put_text(image.marker, kImageMarker, sizeof kImageMarker - 1);
  image.magic = kImageMagic;
  image.eight = 8;
  put_text(image.release_short, stamp::kRelease, 4);
  put_text(image.release, stamp::kRelease, 16);
  put_text(image.build_date, stamp::kBuildDate, sizeof stamp::kBuildDate - 1);
  image.pcns = mcn_pcns;
  image.copyright = kModuleCopyright;
  put_text(image.level, "001", 3);
  return image;
}

// constexpr makes sure the record is laid down at build time, not at load time.
constexpr ImageInfo kImageInfo = make_image_info();

}  // namespace

extern "C" {

const ImageInfo vi_mcn = kImageInfo;

int tkvercn1(void* area) {
  std::memcpy(area, &info, sizeof info);
  return 0;
}

}  // extern "C"
