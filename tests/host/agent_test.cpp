// SPDX-License-Identifier: Apache-2.0
// The agent on held jobs: a queue set up by `jobwick setup` holds a job sent
// with plain lp by a real local user, as any application would send it;
// `jobwick agent --once --headless` gives it the panel and releases it with
// exactly the ticket the same session saves, or cancels it, and leaves
// alone what is not the user's to handle.
#include "host/cups/held_jobs.h"
#include "private_scheduler.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

class AgentTest : public PrivateSchedulerTest {
 protected:
  /// Sends the test's document with plain lp as `user`; the job id.
  int lp(const User& user, const std::string& queue, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"lp", "-d", queue};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(document_.string());
    CommandResult sent = as(&user, args);
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    const auto dash = sent.out.find(queue + "-");
    return dash == std::string::npos ? 0 : std::stoi(sent.out.substr(dash + queue.size() + 1));
  }

  /// Sets up queue `name` holding jobs for the agent, once per process.
  void heldQueue(const std::string& name, const fs::path& ppd = {}) {
    static std::set<std::string> made;
    if (made.count(name)) return;
    CommandResult setup = setupQueue(name, {}, ppd);
    ASSERT_EQ(setup.exitCode, 0) << setup.err;
    EXPECT_NE(setup.out.find("it holds every job without a ticket for the agent"),
              std::string::npos)
        << setup.out;
    made.insert(name);
  }

  CommandResult agent(std::vector<std::string> more) {
    std::vector<std::string> args = {"agent", "--once", "--headless"};
    args.insert(args.end(), more.begin(), more.end());
    return as(&kOwner, args);
  }
};

TEST_F(AgentTest, AHeldJobIsReleasedWithTheTicketTheSessionSaves) {
  const std::pair<std::string, std::string> cases[] = {
      {"Agent7300", "examples/sessions/vk7300-round-trip.json"},
      {"Agent410e", "examples/sessions/vk410e-every-key.json"},
  };
  for (const auto& [queue, session] : cases) {
    SCOPED_TRACE(queue);
    heldQueue(queue, queue == "Agent410e" ? privateScheduler().recorderPPD410e : fs::path());
    const int id = lp(kOwner, queue);
    ASSERT_GT(id, 0);
    EXPECT_EQ(jobState(id), IPP_JSTATE_HELD);

    const std::string printer = "PRINTER=" + SharedPrinter::address();
    const fs::path expected = temp().path() / (queue + "-session.json");
    CommandResult saved = jobwick({"session", source(session).string(), "--var", printer,
                                   "--save-settings", expected.string()});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;

    CommandResult released = agent({"--script", source(session).string(), "--var", printer});
    ASSERT_EQ(released.exitCode, 0) << released.err << released.out;
    EXPECT_NE(released.out.find("job " + queue + "-" + std::to_string(id) + " released"),
              std::string::npos)
        << released.out;
    const auto options = filterOptions(id);
    const json ticket = json::parse(readFile(expected))["settings"];
    ASSERT_GT(ticket.size(), 10u);
    std::size_t carried = 0;
    for (const auto& [key, value] : options) carried += key.rfind(kPrefix, 0) == 0 ? 1 : 0;
    EXPECT_EQ(carried, ticket.size());
    for (const auto& [key, value] : ticket.items()) {
      EXPECT_EQ(options.count(key) ? options.at(key) : "(missing)", value.get<std::string>())
          << key;
    }
    // Nothing of the ticket in the agent's own words.
    const std::string secret = ticket.value(std::string(kPrefix) + "password2", std::string("-"));
    EXPECT_EQ(released.out.find(secret), std::string::npos);
  }
}

TEST_F(AgentTest, OnlyTheUsersOwnHeldJobsOnJobwickQueuesAreHandledOldestFirst) {
  heldQueue("Order7300");
  // Nothing to do yet: another user's job, a job on a queue no bundle
  // serves, and a job the owner released already.
  const int others = lp(kOther, "Order7300");
  const int foreign = lp(kOwner, "Foreign");
  const int resumed = lp(kOwner, "Order7300");
  ASSERT_EQ(as(&kOwner, {"lp", "-i", std::to_string(resumed), "-H", "resume"}).exitCode, 0);
  CommandResult idle = agent({});
  EXPECT_EQ(idle.exitCode, 1) << idle.err;
  EXPECT_NE(idle.out.find("no held job of daemon waits on a Jobwick queue"), std::string::npos)
      << idle.out << idle.err;
  EXPECT_EQ(jobState(others), IPP_JSTATE_HELD);
  EXPECT_EQ(jobState(foreign), IPP_JSTATE_HELD);

  // Two held jobs: the older goes first; --cancel cancels the next.
  const int first = lp(kOwner, "Order7300");
  const int second = lp(kOwner, "Order7300");
  CommandResult printed = agent({});
  EXPECT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_NE(printed.out.find("Order7300-" + std::to_string(first) + " released"), std::string::npos)
      << printed.out;
  EXPECT_EQ(jobState(second), IPP_JSTATE_HELD);
  CommandResult cancelled = agent({"--cancel"});
  EXPECT_EQ(cancelled.exitCode, 1) << cancelled.err;
  EXPECT_NE(cancelled.out.find("Order7300-" + std::to_string(second) + " cancelled"),
            std::string::npos)
      << cancelled.out;
  EXPECT_EQ(jobState(second), IPP_JSTATE_CANCELED);
  EXPECT_EQ(jobState(others), IPP_JSTATE_HELD);

  // jobwick print sends its jobs with their tickets and no hold.
  CommandResult direct = as(&kOwner, {"print", document_.string(), "--printer", "Order7300"});
  ASSERT_EQ(direct.exitCode, 0) << direct.err;
  const int directId = std::stoi(direct.out.substr(direct.out.rfind('-') + 1));
  EXPECT_NE(jobState(directId), IPP_JSTATE_HELD);
  for (int id : {others, foreign}) cupsd_->run("cancel " + std::to_string(id));
}

// A panel that refuses (an empty mandatory login on a print-system
// printer) keeps the job held, and the agent's next run offers it again.
TEST_F(AgentTest, ARefusingPanelKeepsTheJobHeld) {
  heldQueue("System7300", source("examples/ppd/vk7300-print-system.ppd"));
  const int id = lp(kOwner, "System7300");
  ASSERT_GT(id, 0);
  for (int run = 0; run < 2; ++run) {
    CommandResult refused = agent({});
    EXPECT_EQ(refused.exitCode, 3) << refused.err << refused.out;
    EXPECT_NE(refused.err.find("job System7300-" + std::to_string(id) +
                               " stays held: the panel refused to print"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(jobState(id), IPP_JSTATE_HELD);
  }
  EXPECT_EQ(agent({"--cancel"}).exitCode, 1);
  EXPECT_EQ(jobState(id), IPP_JSTATE_CANCELED);
}

// The ticket entries saved for the queue (its defaults, as lpoptions or
// lpadmin -o save them) reach the job through the panel, as the print
// dialog gives them. lp adds them to every job: a job with them alone
// carries no ticket yet, one with an entry of its own does.
TEST_F(AgentTest, TheQueuesSavedTicketEntriesGoThroughThePanel) {
  heldQueue("Saved7300");
  const std::string userName = std::string(kPrefix) + "userName";
  ASSERT_TRUE(cupsd_->run("lpadmin -p Saved7300 -o " + userName + "-default=6C7075736572"));
  const int ticketed = lp(kOwner, "Saved7300", {"-o", userName + "=6F74686572"});
  CommandResult skipped = agent({});
  EXPECT_EQ(skipped.exitCode, 1) << skipped.err << skipped.out;
  EXPECT_EQ(jobState(ticketed), IPP_JSTATE_HELD);
  cupsd_->run("cancel " + std::to_string(ticketed));
  const int id = lp(kOwner, "Saved7300");
  ASSERT_GT(id, 0);
  CommandResult released = agent({});
  ASSERT_EQ(released.exitCode, 0) << released.err << released.out;
  const auto options = filterOptions(id);
  EXPECT_EQ(options.count(userName) ? options.at(userName) : "(missing)", "6C7075736572");
}

// The release itself: every entry of the ticket reaches the filter,
// overwriting what lp added (an entry the ticket lacks keeps lp's value:
// the scheduler cannot take one off a job), and a release the scheduler
// refuses says so, with its reason.
TEST_F(AgentTest, AReleaseCarriesEveryTicketEntryOrReportsTheSchedulersReason) {
  heldQueue("Exact7300");
  const std::string stale = std::string(kPrefix) + "stale";
  const std::string userName = std::string(kPrefix) + "userName";
  auto heldJob = [&] {
    CommandResult sent = runCommand({"/usr/bin/lp", "-d", "Exact7300", "-o", stale + "=1", "-o",
                                     userName + "=6C7075736572", document_.string()},
                                    {{"CUPS_SERVER", cupsd_->socket().string()}});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    return std::stoi(sent.out.substr(sent.out.find("Exact7300-") + 10));
  };
  cupsSetServer(cupsd_->socket().c_str());
  platform::PrintSettings ticket;
  ticket.setValue(userName, "6F74686572");
  ticket.setValue(std::string(kPrefix) + "filing", "0");

  const int id = heldJob();
  std::string error;
  auto job = jobwick::host::describeJob(id, &error);
  ASSERT_TRUE(job) << error;
  const std::vector<std::pair<std::string, std::string>> sent = {{stale, "1"},
                                                                 {userName, "6C7075736572"}};
  EXPECT_EQ(job->ticketEntries, sent);
  EXPECT_TRUE(jobwick::host::releaseWithTicket(*job, ticket, &error)) << error;

  const int refused = heldJob();
  auto gone = jobwick::host::describeJob(refused, &error);
  ASSERT_TRUE(gone) << error;
  cupsd_->run("cancel " + std::to_string(refused));
  EXPECT_FALSE(jobwick::host::releaseWithTicket(*gone, ticket, &error));
  EXPECT_NE(error.find("Exact7300-" + std::to_string(refused) + ": the CUPS scheduler"),
            std::string::npos)
      << error;
  EXPECT_NE(error.find("the job stays held"), std::string::npos) << error;
  cupsSetServer(nullptr);

  const auto options = filterOptions(id);
  EXPECT_EQ(options.count(stale) ? options.at(stale) : "(missing)", "1");
  EXPECT_EQ(options.count(userName) ? options.at(userName) : "(missing)", "6F74686572");
}

}  // namespace
}  // namespace hosttest
