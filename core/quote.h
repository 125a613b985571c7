// Input quoted in a message to a person: every face says what it refused in
// the same safe form.
#ifndef DMCORE_QUOTE_H
#define DMCORE_QUOTE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace dmcore {

// Control bytes, backslashes and bytes that are not part of valid UTF-8 are
// written as \xHH (or \\), and a text longer than `limit` bytes is cut with
// "..." after it.
std::string escaped(std::string_view text, std::size_t limit = 80);

// The text escaped and between single quotes.
inline std::string quoted(std::string_view text) { return "'" + escaped(text) + "'"; }

}  // namespace dmcore

#endif  // DMCORE_QUOTE_H
