// Conditional likelihoods at a tip: 1.0 for every state the observed
// character allows, 0.0 for the others. The two rules differ on ambiguity
// codes: a loop column honours them (R allows A and G), while a stem pair
// treats any position that is not a plain nucleotide as fully unknown.
#pragma once

#include <cstddef>

#include "tree/node_struct.h"

// Writes entries offset + 16 .. offset + 19 (A, C, G, U) of the tip's
// frac_likelihoods from the state-set code of a loop column.
void IntializeSingeltonFracLikelihoodsAtTips(NodeStruct& node, std::size_t offset, int code);

// Writes entries offset + 0 .. offset + 15 from the state-set codes of the
// opening column (first) and its partner (second).
void IntializeDoubletFracLikelihoodsAtTips(NodeStruct& node, std::size_t offset, int first,
                                           int second);

// The rule MrBayes applies at a stem pair: each position allows the
// nucleotides of its code (as at a loop column, so R allows A and G), and
// the pair allows every doublet of the two sets.
void IntializeDoubletStateSetsAtTips(NodeStruct& node, std::size_t offset, int first, int second);
