// Splitting a text into tokens separated by any of a set of characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The next run of characters of `text` at or after `pos` that are not in
// `delimiters`, or an empty string once the text is used up. `pos` starts at
// 0 and is advanced past the token; a `pos` beyond the text is accepted.
std::string StringToken(std::size_t& pos, std::string_view text, std::string_view delimiters);
