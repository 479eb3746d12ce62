// The stems of the consensus structure as helices (runs of stacked pairs),
// and the count of canonical pairs per helix over sequence rows: how well
// a set of sequences, observed or reconstructed, keeps the pairing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Pairs (i, j), (i + 1, j - 1), ... stacked without a bulge. Columns are
// 0-based; the 5' strand runs first5 .. first5 + n_pairs - 1 and pairs with
// last3 .. last3 - n_pairs + 1.
struct Helix {
  int first5 = 0;
  int last3 = 0;
  int n_pairs = 0;
};

// `partners`: per column its partner column, or -1. Helices in the order of
// their first 5' column.
std::vector<Helix> FindHelices(std::span<const int> partners);

struct PairTally {
  std::uint64_t canonical = 0;  // Watson-Crick or GU pairs
  std::uint64_t compared = 0;   // pairs with a plain nucleotide on both sides
};

// Counts, per helix, the canonical pairs of every row handed to it. A row is
// one code per column: nucleotide states 0..3 or state-set codes, which
// agree on the plain nucleotides. A pair with a gap or an ambiguity code on
// either side is not compared, so the share is that of the pairs a row
// actually shows.
class CanonicalPairCounter {
 public:
  CanonicalPairCounter() = default;
  explicit CanonicalPairCounter(const std::vector<Helix>& helices);

  void AddRow(std::span<const int> codes);
  // Adds another counter's tallies (made for the same helices).
  void Merge(const CanonicalPairCounter& other);
  // A counter of the same helices with nothing counted yet.
  CanonicalPairCounter Emptied() const {
    CanonicalPairCounter empty = *this;
    for (PairTally& tally : empty.tallies_) tally = PairTally{};
    return empty;
  }
  // One tally per helix, in the helices' order.
  const std::vector<PairTally>& tallies() const { return tallies_; }

 private:
  struct Pair {
    int five;
    int three;
    int helix;
  };
  std::vector<Pair> pairs_;
  std::vector<PairTally> tallies_;
};

// The canonical pairs of a run's drawn rows, counted as they pass.
struct SampledPairCounts {
  CanonicalPairCounter sampled;  // the ancestral sample rows
  CanonicalPairCounter hidden;   // the hidden rows
};
