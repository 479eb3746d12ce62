#include "output/output_set.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "bailout/bailout.h"
#include "output/output_path.h"

OutputSet::OutputSet(std::vector<RunInput> inputs, std::string context)
    : inputs_(std::move(inputs)), context_(std::move(context)) {}

SafeOutputFile& OutputSet::Add(const std::string& path, const std::string& open_failure,
                               const std::string& write_context, SafeOutputFile::Origin origin) {
  CheckIdentity(path);
  files_.push_back(std::make_unique<SafeOutputFile>(path, open_failure, write_context, origin));
  return *files_.back();
}

SafeOutputFile& OutputSet::AddBeside(const SafeOutputFile& main, const std::string& suffix,
                                     const std::string& open_failure,
                                     const std::string& write_context) {
  const std::string path = main.path() + suffix;
  if (main.written_in_place() && !FindDescriptorLink(path) && IsInSystemFolder(path)) {
    const std::optional<FileIdentity> existing = IdentityOf(path);
    if (!existing || existing->regular) {
      Fail(context_ + ": The output '" + main.path() +
           "' is a device, pipe or descriptor, so its side file '" + path +
           "' cannot be written beside it; name a regular file (or a pipe in a folder of yours) as "
           "the output.");
    }
  }
  return Add(path, open_failure, write_context, SafeOutputFile::Origin::kBeside);
}

void OutputSet::CheckBeside(const SafeOutputFile& main, const std::string& suffix,
                            const std::string& open_failure) const {
  const std::string path = main.path() + suffix;
  CheckIdentity(path);
  if (main.written_in_place() && IsInSystemFolder(path)) return;
  if (const std::optional<std::string> reason = SideFileRefusal(path)) {
    FailToOpenOutput(open_failure, path, *reason);
  }
}

void OutputSet::RetireBeside(const SafeOutputFile& main, const std::string& suffix) {
  // Beside a device or descriptor there is no earlier run's file.
  if (!main.written_in_place()) retired_.push_back(main.path() + suffix);
}

void OutputSet::CheckIdentity(const std::string& path) const {
  // A device or a pipe holds no data to lose; only a regular file can be
  // replaced.
  const std::optional<FileIdentity> output = IdentityOf(path);
  if (!output || !output->regular) return;
  for (const RunInput& input : inputs_) {
    if (IdentityOf(input.path) != output) continue;
    Fail(context_ + ": The output file '" + path + "' is the " + input.role +
         (input.path == path ? std::string() : " '" + input.path + "'") +
         "; choose another output file name.");
  }
  for (const std::unique_ptr<SafeOutputFile>& file : files_) {
    if (IdentityOf(file->path()) != output) continue;
    Fail(context_ + ": The output files '" + file->path() + "' and '" + path +
         "' are the same file; choose another output file name.");
  }
}

void OutputSet::CommitAll() {
  for (const std::unique_ptr<SafeOutputFile>& file : files_) file->Finish();
  for (const std::unique_ptr<SafeOutputFile>& file : files_) file->Publish();
  for (const std::string& path : retired_) {
    struct stat entry {};
    if (lstat(path.c_str(), &entry) != 0) continue;
    // A name that merely looks like an earlier run's file may be one of
    // this run's inputs (a data file called results.state): it stays.
    if (S_ISLNK(entry.st_mode) || (S_ISREG(entry.st_mode) && !IsInput(path))) {
      unlink(path.c_str());
    }
  }
}

bool OutputSet::IsInput(const std::string& path) const {
  const std::optional<FileIdentity> identity = IdentityOf(path);
  return identity && std::any_of(inputs_.begin(), inputs_.end(), [&](const RunInput& input) {
           return IdentityOf(input.path) == identity;
         });
}
