// SPDX-License-Identifier: Apache-2.0
// The agent with windows, on an X server of the test's own and the private
// scheduler with the shipped access rules: a job sent with plain lp is held,
// the agent shows its panel, a session through the window's widgets
// releases it with the ticket the same session saves; one agent per user.
#include <gtest/gtest.h>

#include "../host/private_scheduler.h"
#include "xserver.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

class AgentWindowTest : public PrivateSchedulerTest {
 protected:
  static void SetUpTestSuite() {
    server_ = new gtktest::XServer();
    // The scheduler (started by the suite's first test) announces new jobs
    // on this bus as its system bus.
    bus_ = new gtktest::MessageBus();
    if (!bus_->address().empty()) setenv("DBUS_SYSTEM_BUS_ADDRESS", bus_->address().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    delete bus_;
    bus_ = nullptr;
  }

  /// The environment of a windowed agent of root's on the test's display,
  /// without a system bus (it then finds jobs by looking once a second).
  std::map<std::string, std::optional<std::string>> display() {
    return {{"DISPLAY", server_->display()},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"NO_AT_BRIDGE", "1"},
            {"GDK_BACKEND", "x11"},
            {"GSK_RENDERER", "cairo"},
            {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
            {"DBUS_SYSTEM_BUS_ADDRESS", "disabled:"},
            {"XDG_RUNTIME_DIR", temp().path().string()}};
  }

  int lpAsRoot(const std::string& queue) {
    CommandResult sent = runCommand({"/usr/bin/lp", "-d", queue, document_.string()},
                                    {{"CUPS_SERVER", cupsd_->socket().string()}});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    const auto dash = sent.out.find(queue + "-");
    return dash == std::string::npos ? 0 : std::stoi(sent.out.substr(dash + queue.size() + 1));
  }

  /// Runs `script` in the test's folder as root, with the agent's
  /// environment `env` and the scheduler; fails the test on a non-zero
  /// status.
  void runScript(const std::string& script, std::map<std::string, std::optional<std::string>> env) {
    env["CUPS_SERVER"] = cupsd_->socket().string();
    env["JOBWICK_PREFS_DIR"] = prefsDir().string();
    env["HOME"] = temp().path().string();
    if (!std::getenv("ASAN_OPTIONS")) env["ASAN_OPTIONS"] = "detect_leaks=0";
    CommandResult ran = runCommand(
        {"/bin/sh", "-c", "cd '" + temp().path().string() + "' || exit 1\n" + script}, env);
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
  }

  /// Starts a windowed agent with `args` in the background, waits (at most
  /// 30 s) until the shell condition `ready` holds, runs `then`, and waits
  /// for the agent. Answers the agent's output, which ends with
  /// "agent STATUS".
  std::string agentAround(const std::string& args, const std::string& ready,
                          const std::string& then,
                          std::map<std::string, std::optional<std::string>> env) {
    const std::string jobwickPath = JOBWICK_HOST;
    runScript("timeout 120 '" + jobwickPath + "' agent " + args +
                  " > agent.out 2>&1 & agent=$!\n"
                  "tries=0\n"
                  "until " +
                  ready +
                  "; do\n"
                  "  tries=$((tries + 1)); [ $tries -gt 300 ] && break; sleep 0.1\n"
                  "done\n" +
                  then +
                  "\n"
                  "wait $agent; echo \"agent $?\" >> agent.out\n",
              std::move(env));
    return readFile(temp().path() / "agent.out");
  }

  static gtktest::XServer* server_;
  static gtktest::MessageBus* bus_;
};

gtktest::XServer* AgentWindowTest::server_ = nullptr;
gtktest::MessageBus* AgentWindowTest::bus_ = nullptr;

TEST_F(AgentWindowTest, TheWindowsPanelReleasesAHeldJobWithTheSessionsTicket) {
  ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
  ASSERT_EQ(setupQueue("Window7300").exitCode, 0);
  // Sent before the agent starts: it finds the job when it starts.
  const int id = lpAsRoot("Window7300");
  ASSERT_GT(id, 0);
  EXPECT_EQ(jobState(id), IPP_JSTATE_HELD);

  const std::string session = source("examples/sessions/vk7300-round-trip.json").string();
  const std::string printer = "PRINTER=" + SharedPrinter::address();
  const fs::path expected = temp().path() / "session.json";
  ASSERT_EQ(jobwick({"session", session, "--var", printer, "--save-settings", expected.string()})
                .exitCode,
            0);
  const fs::path picture = temp().path() / "agent.png";
  CommandResult agent = as(nullptr,
                           {"agent", "--jobs", "1", "--script", session, "--var", printer,
                            "--screenshot", picture.string()},
                           false, display());
  ASSERT_EQ(agent.exitCode, 0) << agent.err << agent.out;
  EXPECT_NE(agent.out.find("job Window7300-" + std::to_string(id) + " released"), std::string::npos)
      << agent.out;
  EXPECT_NE(agent.err.find("no system bus; looking for held jobs once a second"), std::string::npos)
      << agent.err;
  EXPECT_GT(fs::file_size(picture), 1000u);
  const auto options = filterOptions(id);
  const json ticket = json::parse(readFile(expected))["settings"];
  ASSERT_GT(ticket.size(), 10u);
  for (const auto& [key, value] : ticket.items())
    EXPECT_EQ(options.count(key) ? options.at(key) : "(missing)", value.get<std::string>()) << key;
}

TEST_F(AgentWindowTest, OneAgentPerUserAndItFindsJobsSentLater) {
  ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
  ASSERT_EQ(setupQueue("Later7300").exitCode, 0);
  // The first agent waits for a job; a second one for the same user goes at
  // once; then a job comes, and the first agent finds it.
  const std::string jobwickPath = JOBWICK_HOST;
  const std::string first =
      agentAround("--jobs 1 --print", "grep -q 'once a second' agent.out",
                  "'" + jobwickPath +
                      "' agent --jobs 1 > second.out 2>&1; echo \"second $?\" >> second.out\n"
                      "lp -d Later7300 '" +
                      document_.string() + "' > lp.out",
                  display());
  const std::string second = readFile(temp().path() / "second.out");
  EXPECT_NE(second.find("another agent already runs for this user"), std::string::npos) << second;
  EXPECT_NE(second.find("second 1"), std::string::npos) << second;
  EXPECT_NE(first.find("agent 0"), std::string::npos) << first;
  EXPECT_NE(first.find(" released with its ticket"), std::string::npos) << first;
}

TEST_F(AgentWindowTest, TheSchedulersAnnouncementWakesAnAgentThatDoesNotPoll) {
  ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
  ASSERT_FALSE(bus_->address().empty()) << "dbus-daemon did not start";
  ASSERT_EQ(setupQueue("Announced7300").exitCode, 0);
  // The agent looks once at start and then only when the scheduler says a
  // job came: the job is sent once it listens.
  auto env = display();
  env["DBUS_SYSTEM_BUS_ADDRESS"] = bus_->address();
  const std::string agent = agentAround(
      "--jobs 1 --print --poll-seconds 0", "grep -q 'when the scheduler announces' agent.out",
      "lp -d Announced7300 '" + document_.string() + "' > lp.out", env);
  EXPECT_NE(agent.find("agent 0"), std::string::npos) << agent;
  EXPECT_NE(agent.find(" released with its ticket"), std::string::npos) << agent;
  EXPECT_EQ(agent.find("no system bus"), std::string::npos) << agent;
}

TEST_F(AgentWindowTest, ARefusedPrintLeavesTheJobHeldAndSaysWhyOnce) {
  ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
  ASSERT_EQ(setupQueue("Refusing7300", {}, source("examples/ppd/vk7300-print-system.ppd")).exitCode,
            0);
  // Open7300's tickets are readable by other users: a ticket with secrets
  // stays off it.
  ASSERT_TRUE(cupsd_->run("lpadmin -p Open7300 -o job-hold-until-default=indefinite"));
  const std::string printer = "PRINTER=" + SharedPrinter::address();
  const std::string secrets = source("examples/sessions/vk7300-authentication.json").string();
  struct Case {
    std::string queue;
    std::vector<std::string> args;
    std::string why;
  };
  const Case cases[] = {
      {"Refusing7300", {"--print"}, "the panel refused to print"},
      {"Open7300",
       {"--script", secrets, "--var", printer},
       "lets other users read its job tickets"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.queue);
    const int id = lpAsRoot(c.queue);
    ASSERT_GT(id, 0);
    std::vector<std::string> args = {"agent", "--jobs", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CommandResult agent = as(nullptr, args, false, display());
    EXPECT_EQ(agent.exitCode, 3) << agent.err << agent.out;
    const std::string job = "job " + c.queue + "-" + std::to_string(id);
    const auto named = agent.err.find(job + " stays held: ");
    EXPECT_NE(named, std::string::npos) << agent.err;
    EXPECT_EQ(agent.err.find(job, named + 1), std::string::npos) << agent.err;
    EXPECT_NE(agent.err.find(c.why), std::string::npos) << agent.err;
    EXPECT_EQ(jobState(id), IPP_JSTATE_HELD);
    cupsd_->run("cancel " + std::to_string(id));
  }
  cupsd_->run("lpadmin -p Open7300 -o job-hold-until-default=no-hold");
}

TEST_F(AgentWindowTest, AJobCancelledElsewhereClosesItsWindow) {
  ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start";
  ASSERT_EQ(setupQueue("Elsewhere7300").exitCode, 0);
  const int id = lpAsRoot("Elsewhere7300");
  ASSERT_GT(id, 0);
  // The window shows (its picture is drawn), then the job is cancelled
  // with CUPS's own command.
  const std::string agent = agentAround("--jobs 1 --screenshot shown.png", "[ -s shown.png ]",
                                        "cancel Elsewhere7300-" + std::to_string(id), display());
  EXPECT_NE(agent.find("was released or cancelled elsewhere"), std::string::npos) << agent;
  EXPECT_NE(agent.find("agent 1"), std::string::npos) << agent;
  EXPECT_EQ(jobState(id), IPP_JSTATE_CANCELED);
}

}  // namespace
}  // namespace hosttest
