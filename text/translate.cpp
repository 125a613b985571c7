// wztxxlt: translation of text through the host's tables and services.
#include <cstring>

#include "text/text.h"

namespace {

// Source to destination before the host changes case in place; an empty
// text may come with null pointers, which memmove must not be given.
inline void copy_text(const char* src, char* dst, std::int32_t n) {
  if (src != dst && n > 0) std::memmove(dst, src, static_cast<std::size_t>(n));
}

}  // namespace

extern "C" std::int32_t wztxxlt(std::int32_t table, const char* src, char* dst, std::int32_t n) {
  using namespace mcn;
  if (table < 0 || table >= kTranslationTableCount) return kStatusBadTable;
  // A negative length is no text: nothing to write and nothing to ask the host.
  if (n < 0) return kStatusOk;

  const Gcb* g = gcb();
  if (table != kTableBytewise && multibyte_text(g)) {
    switch (table) {
      case kTableTranslation0:
        wzsxcch(src, n, dst, n, kMultibyteMode);
        break;
      case kTableTranslation1:
        wzsxrch(src, n, dst, n, kMultibyteMode);
        break;
      case kTableUpper:
        copy_text(src, dst, n);
        wzstrup(dst, n);
        break;
      default:  // kTableLower
        copy_text(src, dst, n);
        wzstrlo(dst, n);
        break;
    }
    return kStatusOk;
  }

  const unsigned char* map = g->translation_tables[kTranslationFirstSlot + table];
  const auto* in = reinterpret_cast<const unsigned char*>(src);
  auto* out = reinterpret_cast<unsigned char*>(dst);
  // Each byte is read before it is written, so source and destination may be one buffer.
  for (std::int32_t j = 0; j < n; ++j) out[j] = map[in[j]];
  return kStatusOk;
}
