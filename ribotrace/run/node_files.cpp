#include "run/node_files.h"

#include <optional>
#include <string>
#include <vector>

#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/tree_output.h"

namespace {

void AddNodeRows(const NodePosteriors& posteriors, const std::string& name, StateTable* sites,
                 PairTable* pairs) {
  const PosteriorLayout& layout = posteriors.layout();
  for (std::size_t c = 0; c < layout.n_sites(); ++c) {
    const std::size_t partner = layout.IsStem(c) ? static_cast<std::size_t>(layout.Partner(c)) : 0;
    if (sites != nullptr) {
      const std::array<double, 4> p = NucleotideMarginals(posteriors, c);
      sites->Add({name, c + 1, MostProbable(p), p, layout.IsStem(c) ? partner + 1 : 0});
    }
    if (pairs != nullptr && layout.IsOpening(c)) {
      const std::span<const double, 16> p = posteriors.Doublets(c);
      pairs->Add({name, c + 1, partner + 1, MostProbable(p), p});
    }
  }
}

}  // namespace

void WriteNodeFiles(const InferenceInputs& inputs, ResultsFiles& files) {
  files.tree.Write(LabelledNewick(*inputs.up_pass.front(), inputs.alignment.Names));

  const PosteriorLayout layout(inputs.alignment.structure, inputs.SS);
  std::optional<StateTable> sites;
  std::optional<PairTable> pairs;
  if (files.state) sites.emplace(*files.state);
  if (files.pairs) pairs.emplace(*files.pairs);
  std::vector<int> states(layout.n_sites());
  std::string record;
  for (const NodeStruct* node : inputs.up_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    const NodePosteriors posteriors(*node, layout);
    const std::string name = NodeName(node->index);
    MostProbableSequence(posteriors, states);
    record.clear();
    AppendSequenceRecord(record, name, states);
    files.map.Write(record);
    AddNodeRows(posteriors, name, sites ? &*sites : nullptr, pairs ? &*pairs : nullptr);
    if (sites) sites->Flush();
    if (pairs) pairs->Flush();
  }
}
