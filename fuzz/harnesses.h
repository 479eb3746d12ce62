// The bodies of the fuzz harnesses, one per reader. Each takes arbitrary
// bytes as the reader's input and returns normally when the reader either
// accepts them or refuses them with a FatalError, the programs' way of
// reporting bad input. Anything else (another exception, a crash, a
// sanitizer report, a hang, an unbounded allocation) is a finding.
//
// libFuzzer drives them from fuzz/*_fuzzer.cpp; the test suite runs them
// over every file of the seed corpus in fuzz/corpus/<harness>/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace fuzz_harness {

// An alignment in any format the shared reader takes (the
// alignment-and-structure file, Stockholm), through ribotrace's reading and
// its stems and loops, and through pairnex's whole conversion with its
// renaming of taxa.
void AlignmentReaderInput(std::span<const std::uint8_t> data);

// A tree file (MrBayes's or Newick): translate table, tree statement, and the tree built
// against the ten taxa of the bundled example alignment; and every statement as sampled trees.
void TreeInput(std::span<const std::uint8_t> data);

// A parameter summary, read as the table of both models and of one; and
// the same bytes as sampled parameters (.p).
void ParameterInput(std::span<const std::uint8_t> data);

// The answers of both programs: the bytes as standard input to their
// prompts, and split at line breaks as their command lines.
void AnswersInput(std::span<const std::uint8_t> data);

}  // namespace fuzz_harness
