#include "inference/tip_likelihoods.h"

#include <algorithm>

#include "sequence/state_coding.h"

namespace {

// The nucleotides a state-set code allows, as a mask over A C G U. Gap and
// missing allow all four; codes outside the table allow none, so such a tip
// gives the column a likelihood of zero.
unsigned AllowedNucleotides(int code) {
  switch (code) {
    case 0:
      return 0b0001;
    case 1:
      return 0b0010;
    case 2:
      return 0b0100;
    case 3:
      return 0b1000;
    case 10:
      return 0b0011;
    case 20:
      return 0b0101;
    case 21:
      return 0b0110;
    case 30:
      return 0b1001;
    case 31:
      return 0b1010;
    case 32:
      return 0b1100;
    case 210:
      return 0b0111;
    case 310:
      return 0b1011;
    case 320:
      return 0b1101;
    case 321:
      return 0b1110;
    case kAnyNucleotide:
    case kGapCode:
    case kMissingCode:
      return 0b1111;
    default:
      return 0;
  }
}

bool IsPlainNucleotide(int code) { return code >= 0 && code <= 3; }

}  // namespace

void IntializeSingeltonFracLikelihoodsAtTips(double* entries, int code) {
  const unsigned allowed = AllowedNucleotides(code);
  for (int x = 0; x < kNumNucleotides; ++x) entries[x] = (allowed >> x) & 1u ? 1.0 : 0.0;
}

void IntializeDoubletFracLikelihoodsAtTips(double* entries, int first, int second) {
  const bool first_known = IsPlainNucleotide(first);
  const bool second_known = IsPlainNucleotide(second);
  if (first_known && second_known) {
    std::fill_n(entries, kNumDoublets, 0.0);
    entries[WhichDoublet(first, second)] = 1.0;
    return;
  }
  for (int x = 0; x < kNumDoublets; ++x) {
    const bool first_fits = !first_known || x / 4 == first;
    const bool second_fits = !second_known || x % 4 == second;
    entries[x] = first_fits && second_fits ? 1.0 : 0.0;
  }
}

void IntializeDoubletStateSetsAtTips(double* entries, int first, int second) {
  const unsigned first_allowed = AllowedNucleotides(first);
  const unsigned second_allowed = AllowedNucleotides(second);
  for (int x = 0; x < kNumDoublets; ++x) {
    const bool fits = ((first_allowed >> (x / 4)) & 1u) && ((second_allowed >> (x % 4)) & 1u);
    entries[x] = fits ? 1.0 : 0.0;
  }
}
