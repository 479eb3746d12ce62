// Regressions of an adversarial pass over both programs, one test per kind
// of fault: lost inputs or results, stray files and hangs, messages. (The
// parameter checks are in parameter_file_test.cpp.) Each runs the real
// programs and checks the status, the message and that nothing was lost.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kExamples = EXAMPLES_DIR;

struct Inputs {
  std::string data;
  std::string tree;
  std::string pstat;
};

// The example's inputs copied into `dir`, where outputs may point at them.
Inputs CopyExampleInputs(const ScratchDir& dir) {
  return {dir.Write("data.txt", ReadFile(kExamples + "/plant_srp10.txt")),
          dir.Write("tree.tre", ReadFile(kExamples + "/plant_srp10.nex.con.tre")),
          dir.Write("p.pstat", ReadFile(kExamples + "/plant_srp10.nex.pstat"))};
}

std::vector<std::string> RibotraceArgs(const Inputs& in, const std::string& out,
                                       const std::string& samples = "2") {
  return {"--seed=1", in.data, in.tree, in.pstat, out, "1", "1.0", samples, "0", "0"};
}

int TemporaryFiles(const std::string& folder) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    n += entry.path().filename().string().find(".tmp-") != std::string::npos;
  }
  return n;
}

// Starts ribotrace with the default action for every signal, as from a
// terminal, and its standard output discarded.
pid_t StartRibotrace(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    std::vector<char*> argv = {const_cast<char*>(RIBOTRACE_BINARY)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(RIBOTRACE_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

// An output that is an input, however the path reaches it, is refused and
// the inputs stay as they were.
void CheckOutputsThatAreInputsAreRefused(const ScratchDir& dir, const Inputs& in) {
  const std::string before = ReadFile(in.data) + ReadFile(in.tree) + ReadFile(in.pstat);
  fs::create_symlink(in.tree, dir.Path("tree_link"));
  fs::create_hard_link(in.pstat, dir.Path("pstat_link"));
  fs::create_symlink(in.data, dir.Path("out.fa.par"));
  const std::string refused = "\n\nErr: WriteResultsToFile Error: The output file '";
  for (const auto& [out, message] : std::vector<std::pair<std::string, std::string>>{
           {"./data.txt", "./data.txt' is the data file '" + in.data + "'"},
           {"tree_link", "tree_link' is the tree file '" + in.tree + "'"},
           {"pstat_link", "pstat_link' is the parameter file '" + in.pstat + "'"},
           {"out.fa", "out.fa.par' is the data file '" + in.data + "'"}}) {
    const ProgramResult run =
        RunProgram(RIBOTRACE_BINARY, RibotraceArgs(in, out), "", dir.Path(""));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, refused + message + "; choose another output file name.\n");
  }
  const ProgramResult pairnex =
      RunProgram(PAIRNEX_BINARY, {"data.txt", "./data.txt"}, "", dir.Path(""));
  EXPECT_EQ(pairnex.status, 1);
  EXPECT_EQ(pairnex.output,
            "\n\nErr: ConvertFile Error: The output file './data.txt' is the data "
            "file 'data.txt'; choose another output file name.\n");
  EXPECT_EQ(ReadFile(in.data) + ReadFile(in.tree) + ReadFile(in.pstat), before);
}

void CheckStandardOutputAsOutput(const ScratchDir& dir, const Inputs& in) {
  // /dev/stdout after a shell's >> is written through the descriptor: the
  // log keeps what it held.
  const std::string log = dir.Write("run.log", "earlier log\n");
  EXPECT_EQ(RunProgram(PAIRNEX_BINARY, {in.data, dir.Path("ref.nex")}).status, 0);
  EXPECT_EQ(RunProgram("/bin/sh",
                       {"-c", "exec \"$0\" \"$1\" /dev/stdout >> run.log", PAIRNEX_BINARY, in.data},
                       "", dir.Path(""))
                .status,
            0);
  EXPECT_EQ(ReadFile(log), "earlier log\n" + ReadFile(dir.Path("ref.nex")));
  // ... and its side file would be a stray file among the devices.
  const ProgramResult to_stdout = RunProgram(RIBOTRACE_BINARY, RibotraceArgs(in, "/dev/stdout"));
  EXPECT_EQ(to_stdout.status, 1);
  EXPECT_EQ(to_stdout.output,
            "\n\nErr: WriteResultsToFile Error: The output '/dev/stdout' is a device, pipe or "
            "descriptor, so its side file '/dev/stdout.par' cannot be written beside it; name a "
            "regular file (or a pipe in a folder of yours) as the output.\n");
  EXPECT_FALSE(fs::exists("/dev/stdout.par"));
}

// `old` holds earlier results and `victim` a file that a planted link names.
void CheckPlantedFilesAreRefused(const ScratchDir& dir, const Inputs& in, const std::string& old,
                                 const std::string& victim) {
  // A link or FIFO at a file named after the output (one another user may
  // plant in /tmp) is refused before any work: the file it names is never
  // written, nor does the run block on the FIFO; the earlier results stay.
  fs::create_symlink(victim, old + ".tree");
  ASSERT_EQ(mkfifo((old + ".map.fa").c_str(), 0600), 0);
  for (const auto& [planted, what] : std::vector<std::pair<std::string, std::string>>{
           {".tree", "a symbolic link"}, {".map.fa", "a FIFO"}}) {
    const ProgramResult run = RunProgram(RIBOTRACE_BINARY, RibotraceArgs(in, old));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "\n\nErr: WriteResultsToFile Error: Unable to open file '" + old +
                              planted + "': it is " + what +
                              ", and a file named after the output is only ever written as a new "
                              "regular file (remove it, or choose another output name).\n");
    fs::remove(old + planted);
  }
  EXPECT_EQ(ReadFile(victim), "years of work\n");
  EXPECT_EQ(ReadFile(old), "earlier results\n");
  EXPECT_EQ(TemporaryFiles(dir.Path("")), 0);
}

void CheckStaleTablesGoAndInputsStay(const ScratchDir& dir, const Inputs& in,
                                     const std::string& old, const std::string& victim) {
  // An earlier run's tables and report are removed with the new results,
  // so that nothing stale stands beside them; a link there goes, its target
  // stays.
  std::vector<std::string> tables = RibotraceArgs(in, old);
  tables.insert(tables.begin(), {"--state", "--report"});
  ASSERT_EQ(RunProgram(RIBOTRACE_BINARY, tables).status, 0);
  fs::create_symlink(victim, old + ".clades");
  ASSERT_EQ(RunProgram(RIBOTRACE_BINARY, RibotraceArgs(in, old)).status, 0);
  for (const char* stale : {".state", ".pairs", ".html", ".clades"}) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(old + stale))) << stale;
  }
  EXPECT_EQ(ReadFile(victim), "years of work\n");
  // ... but an input that merely has such a name is never removed.
  const std::string data_copy = ReadFile(in.data);
  fs::copy_file(in.data, old + ".html");
  Inputs named_like_a_report = in;
  named_like_a_report.data = old + ".html";
  ASSERT_EQ(RunProgram(RIBOTRACE_BINARY, RibotraceArgs(named_like_a_report, old)).status, 0);
  EXPECT_EQ(ReadFile(old + ".html"), data_copy);
  // (pairnex checks its name table's path before the work, as an output.)
  fs::copy_file(in.data, dir.Path("conv.nex.names"));
  EXPECT_EQ(RunProgram(PAIRNEX_BINARY, {dir.Path("conv.nex.names"), dir.Path("conv.nex")}).status,
            1);
  EXPECT_EQ(ReadFile(dir.Path("conv.nex.names")), data_copy);
}

ProgramResult RunWith(const ScratchDir& dir, const Inputs& changed,
                      const std::string& out = "o.fa") {
  return RunProgram(RIBOTRACE_BINARY, RibotraceArgs(changed, dir.Path(out)));
}

// Inputs that are missing, or that hold what no reader should take.
void CheckMessagesOnBadInputs(const ScratchDir& dir, const Inputs& in) {
  Inputs changed = in;
  changed.tree = dir.Path("absent.t");
  EXPECT_EQ(RunWith(dir, changed).output, "ReadTreeFile Error: Unable to open file '" +
                                              changed.tree + "': No such file or directory.\n");

  // A label of 100,000 characters with control bytes is shown cut and escaped.
  const std::string label = std::string(100000, 'x') + "\x01\x1b";
  changed.tree =
      dir.Write("long.tre", "#NEXUS\nbegin trees;\ntree t = (" + label + ":1,b:1,c:1);\nend;\n");
  EXPECT_EQ(RunWith(dir, changed).output,
            "SetUpTree Error: The tree's taxon '" + std::string(80, 'x') +
                "...' (100002 bytes) at character 2 of the tree text matches no taxon of the data "
                "file.\n(In the tree of '" +
                changed.tree + "'.)\n");

  // Line ends and byte-order marks that every reader would misread.
  changed = in;
  std::string cr_only = ReadFile(in.data);
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  changed.data = dir.Write("cr.txt", cr_only);
  EXPECT_EQ(RunWith(dir, changed).output,
            "\n\nErr: GetNumberOfTaxaSitesAndAllocate Error: The lines of the file '" +
                changed.data +
                "' end in a carriage return (CR) alone; convert them to LF line ends (for "
                "example with tr '\\r' '\\n').\n");
  changed = in;
  changed.pstat = dir.Write("bom.pstat", "\xEF\xBB\xBF" + ReadFile(in.pstat));
  EXPECT_EQ(RunWith(dir, changed).output, "ReadParameterFile Error: The file '" + changed.pstat +
                                              "' begins with a UTF-8 byte-order mark; save it as "
                                              "plain text without one.\n");
}

void CheckLongOutputNames(const ScratchDir& dir, const Inputs& in) {
  // Long output names: the temporary names fit; a side file's name that
  // cannot exist is named before the run.
  const auto name_max = static_cast<std::size_t>(pathconf(dir.Path("").c_str(), _PC_NAME_MAX));
  const std::string fits(name_max - std::string(".map.fa").size(), 'n');
  EXPECT_EQ(RunWith(dir, in, fits).status, 0);
  EXPECT_TRUE(fs::exists(dir.Path(fits + ".par")));
  const std::string too_long(name_max - 2, 'n');
  EXPECT_EQ(RunWith(dir, in, too_long).output,
            "\n\nErr: WriteResultsToFile Error: Unable to open p_out file ptr '" +
                dir.Path(too_long) + ".par': its name is " + std::to_string(name_max + 2) +
                " bytes long, more than the " + std::to_string(name_max) +
                " the file system allows.\n");
}

// (Skips the test where it cannot act as another user.)
void CheckPermissionsAndOwners(const ScratchDir& dir, const Inputs& in) {
  // Replacing a file keeps its permissions; in a sticky folder, another
  // user's file is refused before the work, not at the final rename.
  const std::string kept = dir.Write("kept.fa", "");
  fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(RunWith(dir, in, "kept.fa").status, 0);
  EXPECT_EQ(fs::status(kept).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  if (geteuid() != 0 || FindOnPath("setpriv").empty()) GTEST_SKIP() << "needs root and setpriv";
  for (const std::string& input : {in.data, in.tree, in.pstat}) {
    fs::permissions(input, fs::perms::others_read, fs::perm_options::add);
  }
  fs::permissions(dir.Path(""), fs::perms::all);
  fs::permissions(dir.Path(""), fs::perms::sticky_bit, fs::perm_options::add);
  const ProgramResult other = RunProgram(FindOnPath("setpriv"), [&] {
    std::vector<std::string> args = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                     RIBOTRACE_BINARY};
    for (const std::string& arg : RibotraceArgs(in, kept)) args.push_back(arg);
    return args;
  }());
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.output, "\n\nErr: WriteResultsToFile Error: Unable to open output file ptr '" +
                              kept +
                              "': it belongs to another user, and its folder lets only a file's "
                              "owner replace it (sticky bit).\n");
}

}  // namespace

TEST(Reliability, NoInputOrEarlierResultIsLost) {
  ScratchDir dir;
  const Inputs in = CopyExampleInputs(dir);
  CheckOutputsThatAreInputsAreRefused(dir, in);
  CheckStandardOutputAsOutput(dir, in);
  const std::string old = dir.Write("old.fa", "earlier results\n");
  const std::string victim = dir.Write("thesis.tex", "years of work\n");
  ASSERT_NO_FATAL_FAILURE(CheckPlantedFilesAreRefused(dir, in, old, victim));
  CheckStaleTablesGoAndInputsStay(dir, in, old, victim);
}

TEST(Reliability, NoStrayFilesOrHangs) {
  ScratchDir dir;
  const Inputs in = CopyExampleInputs(dir);
  // A run ended by a signal removes its temporary files (one of 136 MB was
  // found) and dies of that signal; the earlier results stay.
  const std::string out = dir.Write("big.fa", "earlier results\n");
  for (const int sent : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                         SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGABRT}) {
    const pid_t pid = StartRibotrace(RibotraceArgs(in, out, "50000"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    // The results, .par, .tree and .map.fa.
    while (TemporaryFiles(dir.Path("")) < 4 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(TemporaryFiles(dir.Path("")), 4) << "every output is open before the long work";
    kill(pid, sent);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sent) << sent;
    EXPECT_EQ(TemporaryFiles(dir.Path("")), 0) << sent;
    EXPECT_EQ(ReadFile(out), "earlier results\n");
  }

  // Endless binary devices stop at their first bytes, whichever input they are.
  for (const char* device : {"/dev/zero", "/dev/urandom"}) {
    for (std::string Inputs::*input : {&Inputs::data, &Inputs::tree, &Inputs::pstat}) {
      Inputs bad = in;
      bad.*input = device;
      const ProgramResult run = RunProgram(RIBOTRACE_BINARY, RibotraceArgs(bad, dir.Path("o.fa")));
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.output.find("Error: The file '" + std::string(device) + "' holds a NUL byte"),
                std::string::npos)
          << run.output;
    }
  }
}

TEST(Reliability, MessagesNameTheFileTheReasonAndTheText) {
  ScratchDir dir;
  const Inputs in = CopyExampleInputs(dir);
  CheckMessagesOnBadInputs(dir, in);
  CheckLongOutputNames(dir, in);
  CheckPermissionsAndOwners(dir, in);
}
