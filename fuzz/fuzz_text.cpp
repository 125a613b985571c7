// The text routines against plain models: wzstndx against a naive search,
// wzstrip against a byte scan at every alignment, wztxxlt in place and not.
//
// Input: op (1 byte), alignment (1), pattern length (1), flag (1), bytes.
// Texts sit at the end of heap blocks of exactly their size.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "daycount/daycount.h"
#include "fuzz/loaded_modules.h"
#include "tests/instruments/host.h"
#include "text/text.h"

namespace {

testhost::Host& host() {
  static testhost::Host* h = [] {
    auto* created = new testhost::Host;
    mcn_main(created->gcb(), created->pidb());
    return created;
  }();
  return *h;
}

using fuzzing::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  testhost::Host& h = host();
  const int op = data[0] % 3;
  const std::size_t align = data[1] % 8;
  std::size_t plen = data[2] % 8;
  const bool flag = data[3] & 1;
  data += 4;
  size -= 4;

  std::vector<char> block(align + size);
  char* t = block.data() + align;
  if (size > 0) std::memcpy(t, data, size);
  const auto n = static_cast<std::int32_t>(size);

  if (op == 0) {
    if (plen > size) plen = size;
    // The pattern is the text's first plen bytes, searched in the rest.
    std::vector<char> pattern(t, t + plen);
    const char* rest = t + plen;
    const std::int32_t rn = n - static_cast<std::int32_t>(plen);
    int naive = -1;
    if (plen == 0) {
      naive = 0;
    } else {
      for (std::int32_t i = 0; i + static_cast<std::int32_t>(plen) <= rn && naive < 0; ++i)
        if (std::memcmp(rest + i, pattern.data(), plen) == 0) naive = i;
    }
    check(wzstndx(rest, rn, pattern.data(), static_cast<std::int32_t>(plen)) == naive, "wzstndx");
  } else if (op == 1) {
    // Mostly blanks, so that the word scan has work to do.
    for (std::size_t i = 0; i < size; ++i)
      if (static_cast<unsigned char>(t[i]) > 0x60) t[i] = ' ';
    std::int32_t naive = n;
    while (naive > 0 && t[naive - 1] == ' ') --naive;
    check(wzstrip(t, n) == naive, "wzstrip");
  } else {
    h.set_multibyte(flag);
    const int table = static_cast<int>(plen % 5);
    std::vector<char> out(size + 1, '#');
    const std::vector<char> original(t, t + size);
    check(wztxxlt(table, t, out.data(), n) == 0, "wztxxlt status");
    check(out[size] == '#', "wztxxlt writes no more than n bytes");
    check(wztxxlt(table, t, t, n) == 0, "wztxxlt in place");
    check(size == 0 || std::memcmp(t, out.data(), size) == 0, "in place equals out of place");
    if (!flag || table == 4)
      for (std::size_t i = 0; i < size; ++i)
        check(static_cast<unsigned char>(out[i]) ==
                  h.table(table)[static_cast<unsigned char>(original[i])],
              "byte translation");
  }
  return 0;
}
