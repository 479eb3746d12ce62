// Input text as error messages show it.
#pragma once

#include <string>
#include <string_view>

// `text` in single quotes, made safe to print whatever the input held: tab,
// line feed and carriage return as \t \n \r, other control bytes as \xNN,
// and a text longer than 80 shown characters cut there (never inside a
// UTF-8 sequence) and followed by "..." and its length in bytes. A message
// about a 100 MB label stays one short line.
std::string Quoted(std::string_view text);
