#include "io/results_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "inference/ancestral_sampling.h"
#include "bailout/bailout.h"
#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"

namespace {

// A text file written front to back in which every write and the close are
// checked: a full disk must never end in a run that reports success.
class CheckedOutputFile {
 public:
  CheckedOutputFile(std::string name, const char* open_failure) : name_(std::move(name)) {
    file_ = std::fopen(name_.c_str(), "w+");
    if (file_ == nullptr) Fail(open_failure);
  }
  ~CheckedOutputFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  CheckedOutputFile(const CheckedOutputFile&) = delete;
  CheckedOutputFile& operator=(const CheckedOutputFile&) = delete;

  void Line(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
        std::fputc('\n', file_) == EOF) {
      FailToWrite();
    }
  }

  __attribute__((format(printf, 2, 3))) void Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(file_, format, args);
    va_end(args);
    if (written < 0) FailToWrite();
  }

  // Buffered data reach the disk only here, so a full disk often shows up
  // at the close.
  void Close() {
    const bool failed = std::ferror(file_) != 0;
    errno = 0;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (failed || closed != 0) FailToWrite();
  }

 private:
  [[noreturn]] void FailToWrite() {
    const int error = errno;
    Fail("WriteResultsToFile Error: Unable to write file '" + name_ + "'" +
         (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) + ".");
  }

  std::string name_;
  std::FILE* file_ = nullptr;
};

std::string StructureLine(const std::vector<int>& structure) {
  std::string line;
  for (const int pairing : structure) {
    if (pairing == 0) line += '-';
    if (pairing == 1) line += '(';
    if (pairing == -1) line += ')';
  }
  return line;
}

std::string SequenceLine(const int* codes, std::size_t n_sites) {
  std::string line(n_sites, ' ');
  for (std::size_t c = 0; c < n_sites; ++c) line[c] = NucIntToChar(codes[c]);
  return line;
}

// One ">prefix<index>_<k>" block per sample of every sampled node, rows
// taken in order from first_row.
void WriteSampleBlocks(CheckedOutputFile& out, const std::vector<NodeStruct*>& down_pass,
                       const char* prefix, const std::vector<int>& anc_seqs, std::size_t first_row,
                       std::size_t n_sites, int n_samples) {
  std::size_t r = first_row;
  for (const NodeStruct* node : down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    for (int k = 1; k <= n_samples; ++k, ++r) {
      std::string header(">");
      header.append(prefix)
          .append(std::to_string(node->index))
          .append("_")
          .append(std::to_string(k));
      out.Line(header);
      out.Line(SequenceLine(anc_seqs.data() + r * n_sites, n_sites));
    }
  }
}

}  // namespace

void WriteResultsToFile_New(const std::vector<NodeStruct*>& down_pass, const std::string& out_file,
                            const std::vector<int>& anc_seqs, int include_data,
                            const Alignment& alignment, int n_samples, double lambda,
                            int is_harmonic) {
  const std::size_t n_sites = static_cast<std::size_t>(alignment.n_sites);
  {
    CheckedOutputFile out(out_file, "WriteResultsToFile Error: Unable to open output file ptr.");
    out.Line(">SS_cons");
    out.Line(StructureLine(alignment.structure));
    if (include_data != 0) {
      for (int t = 0; t < alignment.n_taxa; ++t) {
        out.Line(std::string(">").append(alignment.Names[t].name));
        out.Line(SequenceLine(alignment.dmatrix.data() + t * n_sites, n_sites));
      }
    }
    const std::size_t n_sampled_rows =
        static_cast<std::size_t>(CountSampledNodes(down_pass)) * std::max(n_samples, 0);
    WriteSampleBlocks(out, down_pass, "anc_", anc_seqs, 0, n_sites, n_samples);
    WriteSampleBlocks(out, down_pass, "psr_", anc_seqs, n_sampled_rows, n_sites, n_samples);
    out.Close();
  }

  const double scaled_length = down_pass.empty() ? 0.0 : down_pass.front()->scaled_length;
  CheckedOutputFile summary(out_file + ".par",
                            "WriteResultsToFile Error: Unable to open p_out file ptr.");
  if (is_harmonic == 1) {
    summary.Printf("h_mean\t%lf\n", scaled_length);
    summary.Printf("lambda\t%lf\n", lambda);
  } else {
    summary.Printf("prd_brlen\t%lf\n", scaled_length);
  }
  summary.Printf("size\t%d\n", n_samples);
  summary.Close();
}
