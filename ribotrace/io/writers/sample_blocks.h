// The text of the results file's sample rows, made where the rows are
// drawn and handed to the results file's writer in file order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Appends the block of one sample row: ">" name "_<k>", then the row's
// characters (name: anc_<index> or clade_<c> for a sampled row, psr_<index>
// or psr_clade_<c> for a hidden one).
void AppendNamedSampleBlock(std::string& text, std::string_view name, std::size_t k,
                            std::string_view row_characters);

// One character per code, as NucIntToChar writes it.
void AppendSequenceCharacters(std::string& text, const int* codes, std::size_t n_sites);
