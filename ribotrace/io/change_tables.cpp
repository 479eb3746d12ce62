#include "io/change_tables.h"

#include <charconv>
#include <string>

#include "sequence/helices.h"

namespace {

// Six significant digits, as the other tables write them.
void AppendValue(std::string& text, double value) {
  char digits[32];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
  text += '\t';
  text.append(digits, end.ptr);
}

// Each opening column's helix, from 1.
std::vector<int> HelixOfColumn(std::span<const int> partners) {
  std::vector<int> helix_of(partners.size(), 0);
  const std::vector<Helix> helices = FindHelices(partners);
  for (std::size_t h = 0; h < helices.size(); ++h) {
    for (int k = 0; k < helices[h].n_pairs; ++k) {
      helix_of[static_cast<std::size_t>(helices[h].first5 + k)] = static_cast<int>(h) + 1;
    }
  }
  return helix_of;
}

void FlushIfLarge(std::string& text, SafeOutputFile& file) {
  if (text.size() < (std::size_t{1} << 20)) return;
  file.Write(text);
  text.clear();
}

}  // namespace

void WritePairChanges(std::span<const ChangeBranch> branches, const BlockLayout& layout,
                      std::span<const int> partners, SafeOutputFile& file) {
  const std::vector<int> helix_of = HelixOfColumn(partners);
  std::string text =
      "Branch\tSite5\tSite3\tHelix\tp_cbc\tp_hemi\tp_break\tp_restore\tE_subs\tp_present\n";
  for (const ChangeBranch& branch : branches) {
    for (int b = 0; b < layout.n_blocks(); ++b) {
      if (!layout.IsDoublet(b)) continue;
      const auto column = static_cast<std::size_t>(layout.Column(b));
      const BranchFigures& figures = branch.figures[static_cast<std::size_t>(b)];
      text.append(branch.name);
      text += '\t' + std::to_string(column + 1) + '\t' + std::to_string(partners[column] + 1) +
              '\t' + std::to_string(helix_of[column]);
      for (const double value : {figures.p_cbc, figures.p_hemi, figures.p_break, figures.p_restore,
                                 figures.e_subs, branch.present[static_cast<std::size_t>(b)]}) {
        AppendValue(text, value);
      }
      text += '\n';
    }
    FlushIfLarge(text, file);
  }
  file.Write(text);
}

void WriteBranchSums(std::span<const ChangeBranch> branches, const BlockLayout& layout,
                     SafeOutputFile& file) {
  std::string text = "Branch\tLength\tp_cbc\tp_hemi\tp_break\tE_subs\tE_subs_loops\n";
  for (const ChangeBranch& branch : branches) {
    BranchFigures pairs;
    double loops = 0.0;
    for (int b = 0; b < layout.n_blocks(); ++b) {
      const auto block = static_cast<std::size_t>(b);
      const double present = branch.present[block];
      if (layout.IsDoublet(b)) {
        pairs += branch.figures[block] * present;
      } else {
        loops += branch.figures[block].e_subs * present;
      }
    }
    text.append(branch.name);
    for (const double value :
         {branch.length, pairs.p_cbc, pairs.p_hemi, pairs.p_break, pairs.e_subs, loops}) {
      AppendValue(text, value);
    }
    text += '\n';
  }
  file.Write(text);
}
