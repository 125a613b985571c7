// Input quoted in a message to a person: every face says what it refused in
// the same safe form.
#ifndef DMCORE_QUOTE_H
#define DMCORE_QUOTE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace dmcore {

// How much of a text a message shows: of a field, a date text or a basis; of
// a file name; of a message of the dynamic loader (which may quote a file's
// bytes). Past it the text is cut with "...".
constexpr std::size_t kFieldLimit = 80;
constexpr std::size_t kPathLimit = 240;
constexpr std::size_t kLoaderLimit = 240;

// Control bytes, backslashes and bytes that are not part of valid UTF-8 are
// written as \xHH (or \\), and a text longer than `limit` bytes is cut with
// "..." after it. The result is valid UTF-8 without control bytes: every text
// that the core hands out (messages, notices, causes, explanations) is made
// of it where the text is made, and faces pass it on as it is.
std::string escaped(std::string_view text, std::size_t limit = kFieldLimit);

// The text escaped and between single quotes.
inline std::string quoted(std::string_view text) { return "'" + escaped(text) + "'"; }

// A file name as a message shows it: escaped, and when longer than
// kPathLimit bytes its middle cut out with "...", so that both where it lies
// and the file's own name show.
std::string shown_path(std::string_view path);

}  // namespace dmcore

#endif  // DMCORE_QUOTE_H
