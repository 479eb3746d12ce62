#include "io/node_tables.h"

#include <charconv>

namespace {

constexpr std::string_view kBases = "ACGU";

char Base(int state) {
  if (state == kGapState) return '-';
  return state >= 0 && state < 4 ? kBases[static_cast<std::size_t>(state)] : 'N';
}

// Six significant digits, as printf's "%.6g" writes them.
void AppendProbability(std::string& text, double p) {
  char digits[32];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, p, std::chars_format::general, 6);
  text.append(digits, end.ptr);
}

void AppendColumns(std::string& text, const std::vector<std::string>& names) {
  for (const std::string& name : names) text.append("\t").append(name);
}

void AppendValues(std::string& text, std::span<const double> values) {
  for (const double value : values) {
    text += '\t';
    AppendProbability(text, value);
  }
}

}  // namespace

StateTable::StateTable(SafeOutputFile& file, const std::vector<std::string>& extra_columns)
    : file_(file), text_("Node\tSite\tState\tp_A\tp_C\tp_G\tp_U") {
  AppendColumns(text_, extra_columns);
  text_ += "\tPair\n";
}

void StateTable::Add(const SiteRow& row, std::span<const double> extra) {
  text_.append(row.node).append("\t").append(std::to_string(row.site)).append("\t");
  text_ += Base(row.state);
  AppendValues(text_, row.p);
  AppendValues(text_, extra);
  text_.append("\t").append(row.partner == 0 ? "-" : std::to_string(row.partner)).append("\n");
}

void StateTable::Flush() {
  file_.Write(text_);
  text_.clear();
}

PairTable::PairTable(SafeOutputFile& file, const std::vector<std::string>& extra_columns)
    : file_(file), text_("Node\tSite5\tSite3\tState") {
  for (const char first : kBases) {
    for (const char second : kBases) text_.append("\tp_").append({first, second});
  }
  AppendColumns(text_, extra_columns);
  text_ += '\n';
}

void PairTable::Add(const PairRow& row, std::span<const double> extra) {
  text_.append(row.node).append("\t").append(std::to_string(row.site5)).append("\t");
  text_.append(std::to_string(row.site3)).append("\t");
  if (row.state < 0) {
    text_ += "NN";
  } else {
    text_ += Base(row.state / 4);
    text_ += Base(row.state % 4);
  }
  AppendValues(text_, row.p);
  AppendValues(text_, extra);
  text_ += '\n';
}

void PairTable::Flush() {
  file_.Write(text_);
  text_.clear();
}

void AppendSequenceRecord(std::string& text, std::string_view name, std::span<const int> states) {
  text.append(">").append(name).append("\n");
  for (const int state : states) text += Base(state);
  text += '\n';
}
