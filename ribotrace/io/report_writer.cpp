#include "io/report_writer.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "drawing/structure_layout.h"
#include "io/report/report_assets.h"

namespace {

// JSON text, with the commas put in as values follow each other. Strings
// are escaped so that nothing in them (a taxon name, a path) can end the
// script element that holds the data.
class JsonWriter {
 public:
  JsonWriter& Key(std::string_view key) {
    Comma();
    Quote(key);
    out_ += ':';
    after_key_ = true;
    return *this;
  }
  void String(std::string_view text) {
    Comma();
    Quote(text);
  }
  // A finite number in %g form with `digits` significant digits; null
  // otherwise (JSON has no infinities).
  void Number(double value, int digits = 7) {
    Comma();
    if (!std::isfinite(value)) {
      out_ += "null";
      return;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    out_ += text;
  }
  void Fixed(double value, int decimals) {
    Comma();
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::isfinite(value) ? value : 0.0);
    out_ += text;
  }
  void Integer(long long value) {
    Comma();
    out_ += std::to_string(value);
  }
  void Bool(bool value) {
    Comma();
    out_ += value ? "true" : "false";
  }
  void Begin(char bracket) {
    Comma();
    out_ += bracket;
    first_.push_back(true);
  }
  void End(char bracket) {
    out_ += bracket;
    first_.pop_back();
  }
  std::string& text() { return out_; }

 private:
  void Comma() {
    if (after_key_) {
      after_key_ = false;
    } else if (!first_.empty()) {
      if (!first_.back()) out_ += ',';
      first_.back() = false;
    }
  }
  void Quote(std::string_view text) {
    out_ += '"';
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
      } else if (byte < 0x20 || c == '<' || c == '>' || c == '&') {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
        out_ += escaped;
      } else {
        out_ += c;
      }
    }
    out_ += '"';
  }

  std::string out_;
  std::vector<bool> first_;
  bool after_key_ = false;
};

void StringPairs(JsonWriter& json, std::string_view key,
                 const std::vector<std::pair<std::string, std::string>>& pairs) {
  json.Key(key).Begin('[');
  for (const auto& [name, value] : pairs) {
    json.Begin('[');
    json.String(name);
    json.String(value);
    json.End(']');
  }
  json.End(']');
}

void Numbers(JsonWriter& json, std::string_view key, const double* values, std::size_t count) {
  json.Key(key).Begin('[');
  for (std::size_t i = 0; i < count; ++i) json.Number(values[i]);
  json.End(']');
}

void Summary(JsonWriter& json, const ReportData& data) {
  json.Key("title").String(data.title);
  StringPairs(json, "inputs", data.inputs);
  StringPairs(json, "values", data.values);
  StringPairs(json, "convergence", data.convergence);
  json.Key("mode").String(data.mode);
  json.Key("seed").Integer(data.seed);
  json.Key("taxa").Integer(data.n_taxa);
  json.Key("stemPairs").Integer(data.n_stem_pairs);
  json.Key("loopColumns").Integer(data.n_loop_columns);
  const PartitionLogLikelihoods& lnl = data.log_likelihood;
  json.Key("lnl").Begin('[');
  for (const double part : {lnl.Total(), lnl.stems, lnl.loops}) json.Number(part, 12);
  json.End(']');
  json.Key("hasStems").Bool(data.has_stems);
  const ModelParams& p = data.parameters;
  Numbers(json, "stemRates", p.stem.rates.data(), 6);
  Numbers(json, "loopRates", p.loop.rates.data(), 6);
  Numbers(json, "doubletFreqs", p.stem.frequencies.data(), 16);
  Numbers(json, "loopFreqs", p.loop.frequencies.data(), 4);
}

void Tree(JsonWriter& json, const ReportData& data) {
  json.Key("tipLabelLimit").Integer(kReportTipLabelLimit);
  json.Key("parent").Begin('[');
  for (const ReportTreeNode& node : data.tree) json.Integer(node.parent);
  json.End(']');
  json.Key("length").Begin('[');
  for (const ReportTreeNode& node : data.tree) json.Number(node.length, 6);
  json.End(']');
  json.Key("name").Begin('[');
  for (const ReportTreeNode& node : data.tree) json.String(node.name);
  json.End(']');
  json.Key("support").Begin('[');
  for (const ReportTreeNode& node : data.tree) json.Number(node.support, 4);
  json.End(']');
}

void Structure(JsonWriter& json, const ReportData& data) {
  json.Key("partners").Begin('[');
  for (const int partner : data.partners) json.Integer(partner);
  json.End(']');
  // Two decimals of a backbone step: far below what a drawing shows.
  json.Key("layout").Begin('[');
  for (const LayoutPoint& point : LayOutStructure(data.partners)) {
    json.Fixed(point.x, 2);
    json.Fixed(point.y, 2);
  }
  json.End(']');
}

void Nodes(JsonWriter& json, const ReportData& data) {
  json.Key("quantAlphabet").String(kQuantAlphabet);
  json.Key("quantLevels").Integer(kQuantLevels);
  json.Key("nodes").Begin('[');
  for (const ReportNode& node : data.nodes) {
    json.Begin('{');
    json.Key("index").Integer(node.index);
    json.Key("mean").Number(node.mean_confidence, 4);
    json.Key("states").String(node.states);
    json.Key("p").String(node.probabilities);
    json.End('}');
  }
  json.End(']');
}

// Only with --changes, so that other pages stay as they were.
void Changes(JsonWriter& json, const ReportData& data) {
  if (!data.changes) return;
  json.Key("cbc").Begin('[');
  for (const double expected : data.changes->branch_cbc) json.Number(expected, 4);
  json.End(']');
  json.Key("helixChanges").Begin('[');
  for (const auto& top : data.changes->helix_top) {
    json.Begin('[');
    for (const auto& [index, expected] : top) {
      json.Begin('[');
      json.Integer(index);
      json.Number(expected, 4);
      json.End(']');
    }
    json.End(']');
  }
  json.End(']');
}

void Covariation(JsonWriter& json, const ReportData& data) {
  json.Key("helices").Begin('[');
  for (const Helix& helix : data.helices) {
    json.Begin('[');
    json.Integer(helix.first5);
    json.Integer(helix.last3);
    json.Integer(helix.n_pairs);
    json.End(']');
  }
  json.End(']');
  json.Key("covariation").Begin('[');
  for (const std::vector<PairTally>& kind : data.covariation) {
    json.Begin('[');
    for (const PairTally& tally : kind) {
      json.Begin('[');
      json.Integer(static_cast<long long>(tally.canonical));
      json.Integer(static_cast<long long>(tally.compared));
      json.End(']');
    }
    json.End(']');
  }
  json.End(']');
}

std::string HtmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The template with each mark replaced by its text; the marks are found in
// the template alone, in the order given, so no text put in is searched.
std::string Assemble(std::string_view page,
                     std::initializer_list<std::pair<std::string_view, std::string_view>> parts) {
  std::string out;
  std::size_t from = 0;
  for (const auto& [mark, text] : parts) {
    const std::size_t at = page.find(mark, from);
    if (at == std::string_view::npos) continue;
    out.append(page.substr(from, at - from)).append(text);
    from = at + mark.size();
  }
  return out.append(page.substr(from));
}

}  // namespace

char QuantisedProbability(double p) {
  if (!(p > 0.0)) return kQuantAlphabet[0];
  if (p >= 1.0) return kQuantAlphabet[kQuantLevels];
  return kQuantAlphabet[static_cast<int>(std::lround(p * kQuantLevels))];
}

std::string ReportHtml(const ReportData& data) {
  JsonWriter json;
  json.Begin('{');
  Summary(json, data);
  Tree(json, data);
  Structure(json, data);
  Nodes(json, data);
  Covariation(json, data);
  Changes(json, data);
  json.End('}');

  return Assemble(kReportPage, {{"@TITLE@", HtmlEscaped(data.title)},
                                {"/*@STYLE@*/", kReportStyle},
                                {"@DATA@", json.text()},
                                {"/*@SCRIPT@*/", kReportScript}});
}

void WriteReport(const ReportData& data, SafeOutputFile& file) { file.Write(ReportHtml(data)); }
