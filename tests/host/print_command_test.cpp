// SPDX-License-Identifier: Apache-2.0
// jobwick print, queues and ticket show against a private CUPS scheduler:
// the options the queue's filter is given and the job attributes the
// scheduler keeps carry exactly the ticket the panel saved.
#include <cups/cups.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "cups_fixture.h"
#include "host/cups/cups_options.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

class PrintCommandTest : public JobwickTest {
 protected:
  void SetUp() override {
    cupsd_ = SharedCupsd::get(&why_);
    if (!cupsd_) GTEST_SKIP() << why_;
    document_ = scratchFile("doc.ps", "%!PS\n/Helvetica findfont 12 scalefont setfont\nshowpage\n");
  }

  CommandResult print(std::vector<std::string> args) {
    args.insert(args.begin(), "print");
    return jobwick(args, {{"CUPS_SERVER", cupsd_->server()}});
  }

  /// The job ids of `queue`, finished ones included.
  std::size_t jobCount(const std::string& queue) {
    cupsSetServer(cupsd_->server().c_str());
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    cupsFreeJobs(count, jobs);
    cupsSetServer(nullptr);
    return count < 0 ? 0 : std::size_t(count);
  }

  /// The options argument the recording filter was given for job `id`,
  /// waiting (bounded) for the scheduler to run it.
  std::map<std::string, std::string> filterOptions(const std::string& id) {
    return cupsd_->recordedOptions(id);
  }

  /// The user's lpoptions file.
  fs::path lpoptionsFile() { return temp().path() / "home/.cups/lpoptions"; }

  /// `print --dry-run` of the document with `args`, the user's lpoptions
  /// file holding `saved`; its job options but the spool time (the time of
  /// the run).
  CommandResult dryRunUnder(const std::string& saved, std::vector<std::string> args) {
    fs::create_directories(lpoptionsFile().parent_path());
    std::ofstream(lpoptionsFile()) << saved;
    args.insert(args.begin(), {document_.string(), "--dry-run"});
    CommandResult result = print(args);
    std::istringstream lines(result.out);
    result.out.clear();
    for (std::string line; std::getline(lines, line);)
      if (line.find("spoolTime=") == std::string::npos) result.out += line + "\n";
    return result;
  }

  jwtest::PrivateCupsd* cupsd_ = nullptr;
  std::string why_;
  fs::path document_;
};

/// The ticket entries of a map of options.
std::map<std::string, std::string> ticketOf(const std::map<std::string, std::string>& options) {
  std::map<std::string, std::string> ticket;
  for (const auto& [key, value] : options) {
    if (jobwick::host::isTicketKey(key)) ticket[key] = value;
  }
  return ticket;
}

TEST_F(PrintCommandTest, FilterAndJobAttributesCarryExactlyTheSavedTicket) {
  const std::pair<std::string, std::string> cases[] = {
      {"Rec7300", "examples/sessions/vk7300-round-trip.json"},
      {"Rec410e", "examples/sessions/vk410e-every-key.json"},
  };
  for (const auto& [queue, session] : cases) {
    SCOPED_TRACE(queue);
    const fs::path saved = temp().path() / (queue + "-ticket.json");
    // Every ticket entry, the secrets among them, on the shared scheduler,
    // whose queues are open to all.
    auto result = print({document_.string(), "--printer", queue, "--session",
                         source(session).string(), "--var", "PRINTER=" + SharedPrinter::address(),
                         "--save-settings", saved.string(), "--allow-exposed-ticket"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(result.out.rfind(queue + "-", 0), 0u) << result.out;
    const std::string job = result.out.substr(0, result.out.find('\n'));
    const std::string id = job.substr(queue.size() + 1);

    const json ticket = json::parse(readFile(saved));
    std::map<std::string, std::string> expected;
    for (const auto& [key, value] : ticket["settings"].items()) expected[key] = value;
    ASSERT_GT(expected.size(), 10u);

    // Key by key, byte for byte: what the printer driver's filter is given.
    EXPECT_EQ(ticketOf(filterOptions(id)), expected);

    // And what the scheduler keeps in its job record.
    cupsSetServer(cupsd_->server().c_str());
    platform::PrintSettings kept;
    std::string error;
    ASSERT_TRUE(jobwick::host::readJobTicket(job, &kept, &error)) << error;
    cupsSetServer(nullptr);
    EXPECT_EQ(ticketOf({kept.entries().begin(), kept.entries().end()}), expected);
    if (ticket.contains("jobName")) {
      EXPECT_EQ(kept.jobName(), ticket["jobName"].get<std::string>());
    }

    // The same through ipptool's listing and through --job.
    auto listed =
        runCommand({"/bin/sh", "-c",
                    "ipptool -tv ipp://" + cupsd_->server() + "/jobs/" + id +
                        " get-job-attributes.test | \"$JOBWICK_HOST\" ticket show - --json"});
    auto asked =
        jobwick({"ticket", "show", "--job", job, "--json"}, {{"CUPS_SERVER", cupsd_->server()}});
    auto fromFile = jobwick({"ticket", "show", saved.string(), "--json"});
    ASSERT_FALSE(fromFile.out.empty()) << fromFile.err;
    EXPECT_EQ(asked.out, fromFile.out) << asked.err;
    // ipptool is not the job's owner: the scheduler keeps the job name from
    // it, so only the entries are compared.
    const json fromListing = json::parse(listed.out, nullptr, false);
    ASSERT_FALSE(fromListing.is_discarded()) << listed.err;
    EXPECT_EQ(fromListing["fields"], json::parse(fromFile.out)["fields"]);
  }
}

// A usage error is found before the panel runs: nothing is remembered and
// nothing is sent. (A dry run of the same print does remember, which shows
// that the check sees the panel's writes.)
TEST_F(PrintCommandTest, UsageErrorsLeaveNoPreferencesBehind) {
  const std::size_t before = jobCount("Vk7300");
  auto refused = print({document_.string(), "--printer", "Vk7300", "--copies", "0"});
  EXPECT_EQ(refused.exitCode, 2) << refused.err;
  EXPECT_FALSE(fs::exists(prefsDir()) && !fs::is_empty(prefsDir()));
  auto dry = print({document_.string(), "--printer", "Vk7300", "--dry-run"});
  EXPECT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_TRUE(fs::exists(prefsDir()) && !fs::is_empty(prefsDir()));
  EXPECT_EQ(jobCount("Vk7300"), before);
}

TEST_F(PrintCommandTest, JsonNamesTheJobOrTheDryRunsOptions) {
  int status = -1;
  const json dry = jobwickJson({"print", document_.string(), "--printer", "Vk7300", "--dry-run",
                                "--copies", "2", "--option", "Duplex=None", "--json"},
                               &status, {{"CUPS_SERVER", cupsd_->server()}});
  ASSERT_EQ(status, 0);
  EXPECT_EQ(dry["dryRun"], true);
  EXPECT_EQ(dry["bundle"], "JobwickVk7300.plugin");
  EXPECT_EQ(dry["copies"], 2);
  EXPECT_EQ(dry["printerOptions"]["Duplex"], "None");
  EXPECT_TRUE(dry["ticket"].contains(std::string(kPrefix) + "spoolTime")) << dry.dump();

  const json printed = jobwickJson({"print", document_.string(), "--printer", "Vk7300", "--json"},
                                   &status, {{"CUPS_SERVER", cupsd_->server()}});
  ASSERT_EQ(status, 0);
  EXPECT_EQ(printed["queue"], "Vk7300");
  EXPECT_EQ(printed["job"], "Vk7300-" + std::to_string(printed["jobId"].get<int>()));
}

TEST_F(PrintCommandTest, RefusedShouldPrintSubmitsNothing) {
  const std::size_t before = jobCount("System7300");
  auto result = print({document_.string(), "--printer", "System7300"});
  EXPECT_EQ(result.exitCode, 3) << result.err;
  EXPECT_TRUE(result.out.empty()) << result.out;
  EXPECT_NE(result.err.find("the panel refused to print on System7300; nothing was submitted"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("Login Name"), std::string::npos) << result.err;
  EXPECT_EQ(jobCount("System7300"), before);
}

TEST_F(PrintCommandTest, BadInputIsOneLineNamingItAndSubmitsNothing) {
  const std::string closedServer = "127.0.0.1:" + std::to_string(SharedPrinter::closedPort());
  struct Case {
    std::vector<std::string> args;
    std::string server, message;
    int exitCode;
  } cases[] = {
      {{document_.string(), "--printer", "NoSuchQueue"},
       "",
       "queue NoSuchQueue: the CUPS scheduler at " + cupsd_->server() +
           " says: The printer or class does not exist.",
       1},
      {{document_.string(), "--printer", "Foreign"},
       "",
       "queue Foreign: no bundle serves its printer",
       1},
      {{(temp().path() / "missing.ps").string(), "--printer", "Vk7300"},
       "",
       "missing.ps: cannot be read (no such file)",
       4},
      {{temp().path().string(), "--printer", "Vk7300"}, "", "cannot be read", 4},
      {{document_.string(), "--printer", "Vk7300"},
       closedServer,
       "cannot reach the CUPS scheduler at " + closedServer,
       1},
      // The reason is why no connection was made, not what libcups kept.
      {{document_.string(), "--printer", "Vk7300"},
       closedServer,
       "jobwick: print: cannot reach the CUPS scheduler at " + closedServer +
           ": Connection refused\n",
       1},
      {{document_.string(), "--printer", "Vk7300"},
       (temp().path() / "no.sock").string(),
       "cannot reach the CUPS scheduler at " + (temp().path() / "no.sock").string() +
           ": No such file or directory\n",
       1},
      {{document_.string(), "--printer", "Closed"}, "", "queue Closed: job refused: ", 1},
      {{document_.string(), "--printer", "Vk7300", "--copies", "0"}, "", "--copies", 2},
      {{document_.string(), "--printer", "Vk7300", "--option",
        "jp.co.quivo.print.PrintSettings.filing=3"},
       "",
       "job-ticket entries come from the panel",
       2},
      {{document_.string()}, "", "no --printer QUEUE given and CUPS has no default destination", 2},
  };
  const std::size_t before = jobCount("Vk7300") + jobCount("Closed");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "print");
    auto result = jobwick(args, {{"CUPS_SERVER", c.server.empty() ? cupsd_->server() : c.server}});
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    if (c.exitCode == 1 || c.exitCode == 4) {
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
  }
  EXPECT_EQ(jobCount("Vk7300") + jobCount("Closed"), before);
}

// Without --printer the job goes where lp sends it, with what lp adds from
// the user's lpoptions: printer options as job options, and job-ticket
// entries only through the panel, which restores them as the job's own
// settings (so the job is the one --set would make); the command line wins.
TEST_F(PrintCommandTest, DefaultDestinationAndSavedOptionsApplyAsLpApplies) {
  const std::string userName = std::string(kPrefix) + "userName";
  auto dryRun = [&](const std::string& saved, std::vector<std::string> args) {
    return dryRunUnder(saved, std::move(args));
  };
  const std::string saved = "Default Vk7300 Duplex=DuplexNoTumble " + userName + "=6c7075736572\n";
  struct Case {
    std::vector<std::string> withSaved;  ///< the command line under `saved`
    std::vector<std::string> plain;      ///< the same job without lpoptions
  };
  const Case cases[] = {
      {{},
       {"--printer", "Vk7300", "--option", "Duplex=DuplexNoTumble", "--set",
        userName + "=6c7075736572"}},
      {{"--option", "Duplex=None", "--set", userName + "=6f74686572"},
       {"--printer", "Vk7300", "--option", "Duplex=None", "--set", userName + "=6f74686572"}},
      {{"--printer", "Vk410e"}, {"--printer", "Vk410e"}},
  };
  for (const Case& c : cases) {
    auto withSaved = dryRun(saved, c.withSaved);
    auto plain = dryRun("", c.plain);
    ASSERT_EQ(withSaved.exitCode, 0) << withSaved.err;
    EXPECT_EQ(withSaved.out, plain.out);
    EXPECT_EQ(withSaved.out.find("# -o jp.co."), std::string::npos) << withSaved.out;
  }
  // The saved entries made a difference: the default queue, the option, and
  // a user name the panel wrote.
  auto applied = dryRun(saved, {});
  EXPECT_NE(applied.out.find("nothing sent to queue Vk7300"), std::string::npos) << applied.out;
  EXPECT_NE(applied.out.find("\n# -o Duplex=DuplexNoTumble\n"), std::string::npos) << applied.out;
  auto bare = dryRun("", {"--printer", "Vk7300", "--option", "Duplex=DuplexNoTumble"});
  EXPECT_NE(applied.out, bare.out);
  // The queue's own defaults (copies, job-sheets, print-color-mode...),
  // which libcups lists among the destination's options, are not job
  // options: the one option is the one given.
  std::size_t options = 0;
  for (std::size_t at = bare.out.find("\n# -o "); at != std::string::npos;
       at = bare.out.find("\n# -o ", at + 1))
    ++options;
  EXPECT_EQ(options, 1u) << bare.out;
  fs::remove(lpoptionsFile());
}

// A printer instance (QUEUE/INSTANCE, as lpoptions defines one) prints on
// its queue with the options saved for the instance, as lp -d QUEUE/INSTANCE
// does, also as the default destination; the queue itself keeps its own.
// An instance no lpoptions file defines is an error that names it.
TEST_F(PrintCommandTest, InstancePrintsOnItsQueueWithTheInstancesOptions) {
  const std::string userName = std::string(kPrefix) + "userName";
  const std::string saved = "Dest Vk7300/duplex Duplex=DuplexNoTumble " + userName +
                            "=6c7075736572\nDefault Vk7300/draft number-up=2\n";
  struct Case {
    std::vector<std::string> withSaved;  ///< the command line under `saved`
    std::vector<std::string> plain;      ///< the same job without lpoptions
  };
  const Case cases[] = {
      {{"--printer", "Vk7300/duplex"},
       {"--printer", "Vk7300", "--option", "Duplex=DuplexNoTumble", "--set",
        userName + "=6c7075736572"}},
      {{}, {"--printer", "Vk7300", "--option", "number-up=2"}},
      {{"--printer", "Vk7300"}, {"--printer", "Vk7300"}},
  };
  for (const Case& c : cases) {
    auto withSaved = dryRunUnder(saved, c.withSaved);
    auto plain = dryRunUnder("", c.plain);
    ASSERT_EQ(withSaved.exitCode, 0) << withSaved.err;
    EXPECT_EQ(withSaved.out, plain.out);
  }
  const std::pair<std::string, std::string> unknown[] = {
      {"Vk7300/nosuch", "queue Vk7300 has no instance nosuch (lpoptions -p Vk7300/nosuch"},
      {"NoSuchQueue/duplex", "NoSuchQueue"},
  };
  for (const auto& [printer, message] : unknown) {
    auto result = dryRunUnder(saved, {"--printer", printer});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
  fs::remove(lpoptionsFile());
}

// A document larger than the scheduler takes: the job the scheduler made
// for it is cancelled, not left waiting for its document, and the error says
// so with the scheduler's reason.
TEST_F(PrintCommandTest, DocumentTheSchedulerWontTakeCancelsItsJob) {
  const fs::path document =
      scratchFile("big.ps", "%!PS\n%" + std::string(2 << 20, 'x') + "\nshowpage\n");
  auto result = print({document.string(), "--printer", "Vk7300"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(result.out.empty()) << result.out;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_NE(result.err.find("jobwick: print: queue Vk7300: the document was not taken (job "),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find(" cancelled): "), std::string::npos) << result.err;
  // Nothing of it is still waiting to print.
  cupsSetServer(cupsd_->server().c_str());
  cups_job_t* jobs = nullptr;
  const int active = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "Vk7300", 0, CUPS_WHICHJOBS_ACTIVE);
  cupsFreeJobs(active, jobs);
  cupsSetServer(nullptr);
  EXPECT_EQ(active, 0);
}

TEST_F(PrintCommandTest, DryRunFromStandardInputShowsWhatWouldBeSent) {
  const std::size_t before = jobCount("Vk410e");
  const fs::path settings =
      scratchFile("settings.txt", "jp.co.quivo.print.PrintSettings.jobSuspend=2\n");
  const fs::path saved = temp().path() / "saved.json";
  auto result = runCommand(
      {"/bin/sh", "-c",
       "printf '%%!PS\\nshowpage\\n' | \"$JOBWICK_HOST\" print - --printer Vk410e --copies 2 "
       "--dry-run --settings " +
           settings.string() + " --save-settings " + saved.string()},
      {{"CUPS_SERVER", cupsd_->server()}, {"JOBWICK_PREFS_DIR", prefsDir().string()}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("nothing sent to queue Vk410e (bundle JobwickVk410e.plugin)"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("# job-name: (stdin)\n# copies: 2\n"), std::string::npos) << result.out;
  std::string lines;
  const json savedTicket = json::parse(readFile(saved));
  for (const auto& [key, value] : savedTicket["settings"].items())
    lines += key + "=" + value.get<std::string>() + "\n";
  EXPECT_NE(lines.find("jp.co.quivo.print.PrintSettings.jobSuspend=2\n"), std::string::npos);
  EXPECT_EQ(result.out.substr(result.out.find("\njp.co.") + 1), lines);
  EXPECT_EQ(jobCount("Vk410e"), before);
}

// The document is checked before the scheduler is asked but read only when
// the job is sent: a FIFO with no writer blocks neither a dry run nor the
// refusal of an unknown queue, and a document on standard input is
// streamed to the job.
TEST_F(PrintCommandTest, DocumentIsReadOnlyWhenTheJobIsSent) {
  const fs::path fifo = temp().path() / "no-writer";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::map<std::string, std::optional<std::string>> env = {
      {"CUPS_SERVER", cupsd_->server()}, {"JOBWICK_PREFS_DIR", prefsDir().string()}};
  auto timed = [&](const std::string& args) {
    return runCommand({"/bin/sh", "-c", "timeout 60 \"$JOBWICK_HOST\" print " + args}, env);
  };
  auto unknown = timed(fifo.string() + " --printer NoSuchQueue");
  EXPECT_EQ(unknown.exitCode, 1) << unknown.err;
  EXPECT_NE(unknown.err.find("queue NoSuchQueue"), std::string::npos) << unknown.err;
  auto dry = timed(fifo.string() + " --printer Vk7300 --dry-run");
  EXPECT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_NE(dry.out.find("# job-name: no-writer\n"), std::string::npos) << dry.out;
  auto endless = timed("/dev/zero --printer Vk7300 --dry-run");
  EXPECT_EQ(endless.exitCode, 4) << endless.err;
  EXPECT_NE(endless.err.find("not a regular file or a FIFO"), std::string::npos) << endless.err;

  const std::size_t before = jobCount("Rec7300");
  auto piped = timed("- --printer Rec7300 < " + document_.string());
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.out.rfind("Rec7300-", 0), 0u) << piped.out;
  EXPECT_EQ(jobCount("Rec7300"), before + 1);
}

// What the scheduler cannot take as a job attribute is refused, naming the
// entry, before anything is sent; a name from outside cannot forge a line.
TEST_F(PrintCommandTest, OverlongValuesAreRefusedAndNamesEscaped) {
  const std::size_t before = jobCount("Vk7300");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--set", "memo=" + std::string(40000, 'x')},
       "queue Vk7300: the value of setting memo is 40000 bytes long; the scheduler takes at most "
       "255 bytes there; nothing was submitted"},
      {{"--set", "memo=" + std::string(256, 'x'), "--dry-run"}, "setting memo is 256 bytes long"},
      {{"--option", "Note=" + std::string(1024, 'x')}, "option Note is 1024 bytes long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {document_.string(), "--printer", "Vk7300"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto started = std::chrono::steady_clock::now();
    auto result = print(args);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  auto longest = print({document_.string(), "--printer", "Vk7300", "--dry-run", "--set",
                        "memo=" + std::string(255, 'x')});
  EXPECT_EQ(longest.exitCode, 0) << longest.err;
  EXPECT_EQ(jobCount("Vk7300"), before);

  const fs::path forged = scratchFile("a\nFAKE=1\x1b[2J.ps", "%!PS\nshowpage\n");
  auto dry = print({forged.string(), "--printer", "Vk7300", "--dry-run"});
  ASSERT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_NE(dry.out.find("# job-name: a\\nFAKE=1\\x1b[2J.ps\n"), std::string::npos) << dry.out;
  EXPECT_EQ(dry.out.find("\nFAKE"), std::string::npos) << dry.out;
}

TEST_F(PrintCommandTest, TicketShowReadsRealLpoptionsOutput) {
  // Quoted values, a key without a value and other options mixed in.
  ASSERT_TRUE(
      cupsd_->run("lpoptions -p Vk7300 -o jp.co.quivo.print.PrintSettings.filing=2 "
                  "-o 'jp.co.quivo.print.PrintSettings.folderPath=2A7374616E64617264' "
                  "-o 'job-sheets=none,none' -o fitplot"));
  ASSERT_TRUE(
      cupsd_->run("lpoptions -p Vk7300 | tee " + (temp().path() / "lpoptions.txt").string()));
  auto shown = jobwick({"ticket", "show", (temp().path() / "lpoptions.txt").string(), "--format",
                        "lpoptions", "--json"});
  auto expected = jobwick({"ticket", "show",
                           scratchFile("expected.txt",
                                       "jp.co.quivo.print.PrintSettings.filing=2\n"
                                       "jp.co.quivo.print.PrintSettings.folderPath="
                                       "2A7374616E64617264\n")
                               .string(),
                           "--json"});
  ASSERT_FALSE(expected.out.empty()) << expected.err;
  EXPECT_EQ(shown.out, expected.out) << shown.err;
}

TEST_F(PrintCommandTest, QueuesNameTheBundleOrWhyNone) {
  auto result = jobwick({"queues"}, {{"CUPS_SERVER", cupsd_->server()}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // The shared scheduler's queues are under its open policy.
  EXPECT_NE(result.out.find(
                "Vk7300  JobwickVk7300.plugin  tickets readable by other users (policy default)\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Plain7300  JobwickVk7300.plugin  tickets readable"),
            std::string::npos);
  EXPECT_NE(result.out.find("Foreign  no bundle: no bundle serves its printer"), std::string::npos);
  auto down = jobwick(
      {"queues"}, {{"CUPS_SERVER", "127.0.0.1:" + std::to_string(SharedPrinter::closedPort())}});
  EXPECT_EQ(down.exitCode, 1);
  EXPECT_NE(down.err.find("jobwick: queues: cannot ask the CUPS scheduler"), std::string::npos);
  EXPECT_NE(down.err.find(": Connection refused\n"), std::string::npos) << down.err;
  auto job = jobwick({"ticket", "show", "--job", "Vk7300-1"},
                     {{"CUPS_SERVER", "127.0.0.1:" + std::to_string(SharedPrinter::closedPort())}});
  EXPECT_EQ(job.exitCode, 1);
  EXPECT_NE(job.err.find("job Vk7300-1: cannot reach the CUPS scheduler at 127.0.0.1:"),
            std::string::npos)
      << job.err;
  EXPECT_NE(job.err.find(": Connection refused\n"), std::string::npos) << job.err;
}

// The large libraries are loaded by the commands that use them only: the
// HTTP library (and the TLS, LDAP, SSH... libraries it brings) by a folder
// fetch, libxml2 by the reading of its answer, ICU by a text that is not
// plain ASCII (help in Japanese, wrapped by Unicode's line breaks); printing
// and listing queues load none of them. The dynamic loader's own report
// says what was loaded.
TEST_F(PrintCommandTest, CommandsLoadOnlyTheLibrariesTheyUse) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> loaded;
    std::vector<std::string> notLoaded;
    std::optional<std::string> language;  // LANGUAGE
  };
  const std::vector<std::string> large = {"libcurl.so",  "jobwick-http.so",
                                          "libxml2.so",  "jobwick-xml.so",
                                          "libicuuc.so", "jobwick-unicode.so"};
  const Case cases[] = {
      {{"print", document_.string(), "--printer", "Vk7300", "--dry-run"}, {}, large, std::nullopt},
      {{"queues"}, {}, large, std::nullopt},
      {{"folders", "--address", SharedPrinter::address()},
       {"libcurl.so", "libxml2.so"},
       {},
       std::nullopt},
      {{"help", "print"}, {"libicuuc.so"}, {"libcurl.so", "libxml2.so"}, "ja"},
  };
  for (const Case& c : cases) {
    auto result = jobwick(
        c.args,
        {{"LD_DEBUG", "files"}, {"CUPS_SERVER", cupsd_->server()}, {"LANGUAGE", c.language}});
    EXPECT_EQ(result.exitCode, 0) << c.args[0] << ": " << result.err;
    for (const std::string& library : c.loaded) {
      EXPECT_NE(result.err.find(library), std::string::npos) << c.args[0] << ": " << library;
    }
    for (const std::string& library : c.notLoaded) {
      EXPECT_EQ(result.err.find(library), std::string::npos) << c.args[0] << ": " << library;
    }
  }
}

// Without a module, what needs it fails and says why, or does without:
// nothing crashes.
TEST_F(PrintCommandTest, MissingModulesFailTheirOperationOnly) {
  const std::string gone = (temp().path() / "gone.so").string();
  auto noHttp =
      jobwick({"folders", "--address", SharedPrinter::address()}, {{"JOBWICK_HTTP_MODULE", gone}});
  EXPECT_EQ(noHttp.exitCode, 1);
  EXPECT_NE(noHttp.err.find("the HTTP module could not be loaded: "), std::string::npos)
      << noHttp.err;
  EXPECT_NE(noHttp.err.find("gone.so"), std::string::npos) << noHttp.err;

  auto noXml =
      jobwick({"folders", "--address", SharedPrinter::address()}, {{"JOBWICK_XML_MODULE", gone}});
  EXPECT_EQ(noXml.exitCode, 1);
  EXPECT_NE(noXml.err.find("the XML module could not be loaded: "), std::string::npos) << noXml.err;
  EXPECT_NE(noXml.err.find("gone.so"), std::string::npos) << noXml.err;

  // Help in Japanese without Unicode's line breaks: whole words, the same text.
  auto wrapped = jobwick({"help", "print"}, {{"LANGUAGE", "ja"}});
  auto unwrapped =
      jobwick({"help", "print"}, {{"LANGUAGE", "ja"}, {"JOBWICK_UNICODE_MODULE", gone}});
  EXPECT_EQ(unwrapped.exitCode, 0) << unwrapped.err;
  const auto words = [](std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; }),
        text.end());
    return text;
  };
  EXPECT_EQ(words(unwrapped.out), words(wrapped.out));
  EXPECT_NE(unwrapped.out, wrapped.out);
}

}  // namespace
}  // namespace hosttest
