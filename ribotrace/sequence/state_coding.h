// The three integer codings of the system.
//
// State-set code: the decimal digits list the nucleotides an observed
// character allows, highest first (A=0, C=1, G=2, U/T=3): R = 20 is G or A,
// N = 3210 any. 3211 marks a gap and 3212 missing data; both allow all four.
// Nucleotide state: 0..3 for A, C, G, U.
// Doublet index: 4 x first + second for a stem pair, first being the
// nucleotide at the opening (5') column.
#pragma once

constexpr int kAnyNucleotide = 3210;
constexpr int kGapCode = 3211;
constexpr int kMissingCode = 3212;
constexpr int kNumDoublets = 16;
constexpr int kNumNucleotides = 4;

// State-set code of an upper-case alignment character; 3210 for anything
// not in the table (lower case included: callers upper-case first).
int NucCharToInt(char c);

// Printed character of a state-set code; state 3 prints as 'U', unknown
// codes as 'N'.
char NucIntToChar(int code);

// Doublet index of two nucleotide states; 15 when either is not a plain
// nucleotide.
inline int WhichDoublet(int first, int second) {
  const bool known = first >= 0 && first <= 3 && second >= 0 && second <= 3;
  return known ? 4 * first + second : 15;
}

// Splits doublet 0..15 into its two nucleotides; leaves both untouched and
// returns false for any other value.
inline bool GetDoubletMembers(int& first, int& second, int doublet) {
  if (doublet < 0 || doublet >= kNumDoublets) return false;
  first = doublet / 4;
  second = doublet % 4;
  return true;
}

// 1 when the two codes form a Watson-Crick or GU pair (sum 3 or 5), else 0.
// Ambiguity, gap and missing codes are at least 10 and so never canonical.
int IsCanonicalDoublet(int a, int b);

// 1 for the canonical doublet indices AU, CG, GC, GU, UA, UG.
int IsDoubletChangeCanonicalChange(int doublet);

// 1 for a decimal digit.
int CompareChar(char c);

// 1 for the Newick punctuation that ends a label or length ( ) , :,
// 2 for a blank, 0 otherwise.
int WhatChar(char c);
