#include "io/writers/sample_blocks.h"

#include "sequence/state_coding.h"

void AppendSequenceCharacters(std::string& text, const int* codes, std::size_t n_sites) {
  const std::size_t start = text.size();
  text.resize(start + n_sites);
  char* out = text.data() + start;
  for (std::size_t c = 0; c < n_sites; ++c) {
    // Sample rows hold only the four bases and gaps: the common codes
    // skip the general lookup.
    const int code = codes[c];
    out[c] = code >= 0 && code <= 3 ? "ACGU"[code] : NucIntToChar(code);
  }
}

void AppendNamedSampleBlock(std::string& text, std::string_view name, std::size_t k,
                            std::string_view row_characters) {
  text.append(">").append(name).append("_").append(std::to_string(k)).append("\n");
  text.append(row_characters).append("\n");
}
