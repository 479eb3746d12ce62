#include "mrbayes_characters.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "bailout/quoted.h"

namespace pairnex {

bool IsMrBayesRnaCharacter(char c) {
  constexpr std::string_view kAccepted = "ACGTURYMKSWBDHVN-?";
  return c != '\0' && kAccepted.find(c) != std::string_view::npos;
}

std::optional<RejectedCharacters> FindRejectedCharacters(const PairnexAlignment& alignment) {
  std::optional<RejectedCharacters> rejected;
  for (int t = 0; t < alignment.n_taxa; ++t) {
    for (int s = 0; s < alignment.n_sites; ++s) {
      const char c = alignment.At(t, s);
      if (IsMrBayesRnaCharacter(c)) continue;
      if (!rejected) rejected = RejectedCharacters{c, t, s, 0};
      ++rejected->count;
    }
  }
  return rejected;
}

namespace {

// Blanks and control characters would be invisible inside quotes.
std::string Shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  char shown[16];
  if (std::isgraph(byte)) {
    std::snprintf(shown, sizeof shown, "'%c'", c);
  } else {
    std::snprintf(shown, sizeof shown, "the byte 0x%02X", byte);
  }
  return shown;
}

}  // namespace

std::string DescribeRejectedCharacters(const RejectedCharacters& rejected,
                                       const PairnexAlignment& alignment) {
  const std::string& name = alignment.Names[rejected.taxon].name;
  const std::string how_many = rejected.count == 1
                                   ? "it is the only one"
                                   : "there are " + std::to_string(rejected.count) + " in all";
  return "Warning: MrBayes does not accept " + Shown(rejected.first) + " (taxon " + Quoted(name) +
         ", column " + std::to_string(rejected.site) + ") in RNA data; " + how_many +
         ". It is written as read; MrBayes will stop at it.\n";
}

}  // namespace pairnex
