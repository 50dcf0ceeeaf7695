// SPDX-License-Identifier: Apache-2.0
// End-to-end tests of jobwick-dialog: sessions run through the GTK widgets
// on an X server of the test's own (Xvfb, on a display number it picks).

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../host/cups_fixture.h"
#include "../host/jobwick_fixture.h"
#include "../host/run_command.h"
#include "xserver.h"

namespace {

namespace fs = std::filesystem;
using hosttest::CommandResult;
using hosttest::JobwickTest;
using json = nlohmann::json;

class DialogTest : public JobwickTest {
 protected:
  static void SetUpTestSuite() { server_ = new gtktest::XServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_FALSE(server_->display().empty()) << "Xvfb did not start"; }

  /// Runs `jobwick dialog` (through jobwick, as a user would) on the suite's display.
  CommandResult dialog(std::vector<std::string> args) {
    args.insert(args.begin(), "dialog");
    return jobwick(args, {{"DISPLAY", server_->display()},
                          {"WAYLAND_DISPLAY", std::nullopt},
                          {"NO_AT_BRIDGE", "1"},
                          {"GDK_BACKEND", "x11"},
                          {"GSK_RENDERER", "cairo"},
                          {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}});
  }

  /// `jobwick dialog` printing through the suite's private scheduler.
  CommandResult printDialog(const jwtest::PrivateCupsd& cupsd, std::vector<std::string> args) {
    args.insert(args.begin(), "dialog");
    return jobwick(args, {{"DISPLAY", server_->display()},
                          {"WAYLAND_DISPLAY", std::nullopt},
                          {"NO_AT_BRIDGE", "1"},
                          {"GDK_BACKEND", "x11"},
                          {"GSK_RENDERER", "cairo"},
                          {"GTK_USE_PORTAL", "0"},
                          {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                          {"CUPS_SERVER", cupsd.server()}});
  }

  static json readJson(const fs::path& path) {
    std::ifstream in(path);
    return json::parse(in, nullptr, false);
  }

  static gtktest::XServer* server_;
};

gtktest::XServer* DialogTest::server_ = nullptr;

bool isPng(const fs::path& path) {
  const std::string bytes = hosttest::readFile(path);
  return bytes.size() > 100 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

// Every example session that runs without a printer, and the folder pop-up
// session against the test printer: the widgets leave the print settings
// exactly as the headless session does.
TEST_F(DialogTest, WidgetSessionsSaveTheSameSettingsAsHeadlessSessions) {
  const std::vector<std::pair<std::string, bool>> sessions = {
      {"vk410e-panel", false},        {"vk7300-authentication", false},
      {"vk7300-every-key", false},    {"vk7300-filing-matrix", false},
      {"vk7300-print-system", false}, {"vk7300-retention", false},
      {"vk7300-round-trip", false},   {"vk7300-filing-popup", true},
  };
  for (const auto& [name, needsPrinter] : sessions) {
    SCOPED_TRACE(name);
    const std::string script = source("examples/sessions/" + name + ".json").string();
    std::vector<std::string> extra;
    if (needsPrinter) extra = {"--var", "PRINTER=" + hosttest::SharedPrinter::address()};
    const fs::path headless = temp().path() / (name + ".session.json");
    const fs::path widgets = temp().path() / (name + ".dialog.json");
    const fs::path picture = temp().path() / (name + ".png");
    std::vector<std::string> args = {"session", script, "--save-settings", headless.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    CommandResult session = jobwick(args);
    ASSERT_EQ(session.exitCode, 0) << session.err;
    args = {"--script",        script,          "--screenshot", picture.string(),
            "--save-settings", widgets.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    CommandResult shown = dialog(args);
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(hosttest::readFile(widgets), hosttest::readFile(headless));
    EXPECT_TRUE(isPng(picture));
    EXPECT_EQ(shown.out, session.out) << "the session's report differs";
  }
}

// What the widgets show after a session, for each interface file, matches
// the controls' own dump: what is hidden, disabled, selected, on, typed.
TEST_F(DialogTest, WidgetsShowWhatTheControlsHold) {
  for (const std::string name : {"jobwick4", "jobwick5", "jobwick"}) {
    SCOPED_TRACE(name);
    const fs::path states = temp().path() / (name + ".widgets.json");
    const fs::path picture = temp().path() / (name + ".png");
    CommandResult shown =
        dialog({"--script", source("tests/gtk/sessions/" + name + ".json").string(), "--json",
                "--screenshot", picture.string(), "--widget-states", states.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_TRUE(isPng(picture));
    const json report = json::parse(shown.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << shown.out;
    const json dump = report["dumps"].back();
    const json widgets = readJson(states);
    ASSERT_TRUE(widgets.contains("controls"));
    std::map<std::string, json> byId;
    for (const auto& entry : widgets["controls"]) byId[entry["identifier"]] = entry;
    std::size_t compared = 0, hiddenSeen = 0, disabledSeen = 0;
    for (const auto& control : dump["controls"]) {
      const std::string id = control["identifier"];
      ASSERT_TRUE(byId.count(id)) << "no widget for " << id;
      const json& widget = byId[id];
      for (const char* member : {"visible", "enabled", "state", "selectedRow", "selectedIndex",
                                 "animating", "colour", "focus"}) {
        if (!control.contains(member) || !widget.contains(member)) continue;
        if (std::string(member) == "state" && control.value("type", "") == "push") continue;
        EXPECT_EQ(widget[member], control[member]) << id << "." << member;
        ++compared;
      }
      if (control.contains("text") && !control.value("masked", false)) {
        EXPECT_EQ(widget["text"], control["text"]) << id << ".text";
      }
      if (control.value("type", "") == "toggle") {
        // The closed padlock while the lock is on, the open one while off.
        const json& drawnImage =
            control["state"] == 1 ? control["alternateImage"] : control["image"];
        EXPECT_EQ(widget["image"], drawnImage) << id;
        EXPECT_EQ(widget["imageDrawn"], true) << id;
      }
      if (control.contains("selectedIndex") && control.contains("items")) {
        const json& item = control["items"][control["selectedIndex"].get<std::size_t>()];
        EXPECT_EQ(widget["selectedImage"], item["image"]) << id;
        if (!item["image"].is_null()) {
          EXPECT_EQ(widget["imageDrawn"], true) << id;
        }
      }
      if (!control["visible"].get<bool>()) ++hiddenSeen;
      if (control.contains("enabled") && !control["enabled"].get<bool>()) ++disabledSeen;
    }
    // The secret fields show bullets, and their text never leaves the widgets.
    for (const char* secret : {"suspendKeyEditText", "passwordEditText", "userNumberEditText",
                               "folderPasswordEditText"}) {
      EXPECT_EQ(byId[secret].value("masked", false), true) << secret;
      const std::string shown = byId[secret].value("text", "");
      EXPECT_EQ(shown.find_first_not_of("\u2022"), std::string::npos) << secret << ": " << shown;
    }
    EXPECT_FALSE(byId["loginNameEditText"].contains("masked"));
    EXPECT_EQ(hosttest::readFile(states).find("1234"), std::string::npos) << "the typed pass code";
    EXPECT_GT(compared, 40u);
    EXPECT_GT(hiddenSeen + disabledSeen, 0u) << "the session should leave something dimmed";
  }
}

// A printer that answers after 3 seconds: the window keeps drawing frames
// (the spinner turns) while the run loop waits, and the folders show after.
TEST_F(DialogTest, SlowFetchKeepsTheWindowDrawing) {
  auto printer = hosttest::SharedPrinter::start(
      {"--mode", "late", "--delay", "3", "--folder", "Sales", "--folder", "Design"},
      temp().path() / "printer.log");
  const fs::path states = temp().path() / "slow.widgets.json";
  CommandResult shown =
      dialog({"--script", source("tests/gtk/sessions/slow-fetch.json").string(), "--var",
              "PRINTER=127.0.0.1:" + std::to_string(printer->port()), "--json", "--screenshot",
              (temp().path() / "slow.png").string(), "--widget-states", states.string()});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  const json widgets = readJson(states);
  EXPECT_GT(widgets["framesWhileWaiting"].get<int>(), 5) << widgets.dump();
  EXPECT_EQ(widgets["alertDialogs"], 0);
  const json report = json::parse(shown.out, nullptr, false);
  const json popup = report["dumps"].back()["controls"][0];
  bool listed = false;
  for (const auto& item : popup["items"]) listed = listed || item.value("title", "") == "Design";
  EXPECT_TRUE(listed) << popup.dump();
}

// A fetch that fails shows the panel's alert as a modal GTK dialog, which
// the scripted user dismisses; the session goes on.
TEST_F(DialogTest, FetchAlertIsAModalDialog) {
  const fs::path states = temp().path() / "alert.widgets.json";
  CommandResult shown = dialog(
      {"--script", source("tests/gtk/sessions/slow-fetch.json").string(), "--var",
       "PRINTER=127.0.0.1:" + std::to_string(hosttest::SharedPrinter::closedPort()), "--screenshot",
       (temp().path() / "alert.png").string(), "--widget-states", states.string()});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_EQ(readJson(states)["alertDialogs"], 1);
  EXPECT_NE(shown.out.find("alert: "), std::string::npos) << shown.out;
}

// --language ja: the widgets carry the panel's Japanese texts.
TEST_F(DialogTest, JapaneseTexts) {
  const fs::path states = temp().path() / "ja.widgets.json";
  CommandResult shown = dialog(
      {"--script", source("tests/gtk/sessions/jobwick.json").string(), "--language", "ja",
       "--screenshot", (temp().path() / "ja.png").string(), "--widget-states", states.string()});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  const std::string text = readJson(states).dump(-1, ' ', false);
  EXPECT_NE(text.find("\u30d5\u30a9\u30eb\u30c0\u30fc"), std::string::npos) << text;  // フォルダー
}

TEST_F(DialogTest, UsageErrors) {
  CommandResult noScript = dialog({"--screenshot", "x.png"});
  EXPECT_EQ(noScript.exitCode, 2);
  EXPECT_NE(noScript.err.find("--script"), std::string::npos);
  CommandResult noDisplay =
      jobwick({"dialog", "--script", source("tests/gtk/sessions/jobwick.json").string(),
               "--screenshot", (temp().path() / "x.png").string()},
              {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  EXPECT_EQ(noDisplay.exitCode, 1);
  EXPECT_NE(noDisplay.err.find("display"), std::string::npos) << noDisplay.err;
}

/// The options a help text lists ("  --name VALUE  text" lines), each with
/// its value word ("" for a flag): the word one space after the name.
std::vector<std::pair<std::string, std::string>> listedOptions(const std::string& help) {
  std::vector<std::pair<std::string, std::string>> options;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("  --")) continue;
    const std::size_t end = line.find(' ', 2);
    const std::string name = line.substr(2, end - 2);
    if (name.ends_with(",")) {  // "--print, --cancel": two flags on one line
      options.emplace_back(name.substr(0, name.size() - 1), "");
      options.emplace_back(line.substr(end + 1, line.find(' ', end + 1) - end - 1), "");
    } else if (end + 1 < line.size() && line[end + 1] != ' ') {
      options.emplace_back(name, line.substr(end + 1, line.find(' ', end + 1) - end - 1));
    } else {
      options.emplace_back(name, "");
    }
  }
  return options;
}

// `jobwick dialog --help` is the user's: the print dialog's options alone.
// The options tests and scripts use are listed by --help-testing instead,
// and every option either help lists is one the program takes.
TEST_F(DialogTest, HelpListsTheUsersOptionsAndTestingHelpTheRest) {
  const std::map<std::string, std::optional<std::string>> noDisplay = {
      {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
  CommandResult help = jobwick({"dialog", "--help"}, noDisplay);
  ASSERT_EQ(help.exitCode, 0) << help.err;
  CommandResult testing = jobwick({"dialog", "--help-testing"}, noDisplay);
  ASSERT_EQ(testing.exitCode, 0) << testing.err;
  auto names = [](const std::vector<std::pair<std::string, std::string>>& options) {
    std::set<std::string> found;
    for (const auto& option : options) found.insert(option.first);
    return found;
  };
  const auto users = listedOptions(help.out);
  EXPECT_EQ(names(users), (std::set<std::string>{"--printer", "--settings", "--set", "--language",
                                                 "--prefs-dir", "--help"}));
  auto all = listedOptions(testing.out);
  const std::set<std::string> forTests = {"--script",        "--screenshot",     "--print",
                                          "--cancel",        "--select-printer", "--choose-file",
                                          "--widget-states", "--enter",          "--click",
                                          "--cancel-after",  "--help-testing"};
  EXPECT_EQ(names(all), forTests);
  for (const auto& option : forTests) {
    // Not even named in the user's text ("--print" is a part of "--printer").
    const std::regex named("(^|[^-a-z])" + option + "([^-a-z]|$)");
    EXPECT_FALSE(std::regex_search(help.out, named)) << option << " in the user's help";
  }
  all.insert(all.end(), users.begin(), users.end());
  EXPECT_EQ(all.size(), 17u);
  for (const auto& [name, value] : all) {
    SCOPED_TRACE(name);
    std::vector<std::string> args = {"dialog", name};
    if (!value.empty()) args.push_back("x");
    if (name != "--help" && name != "--help-testing") args.push_back("--help");
    CommandResult parsed = jobwick(args, noDisplay);
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err;
    EXPECT_EQ(parsed.out, name == "--help-testing" ? testing.out : help.out);
  }
}

/// Every job of `queue` at the scheduler, finished ones included: id and name.
std::map<int, std::string> jobsOf(const jwtest::PrivateCupsd& cupsd, const std::string& queue) {
  cupsSetServer(cupsd.server().c_str());
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
  std::map<int, std::string> found;
  for (int i = 0; i < count; ++i) found[jobs[i].id] = jobs[i].title ? jobs[i].title : "";
  cupsFreeJobs(count, jobs);
  cupsSetServer(nullptr);
  return found;
}

/// The job-ticket entries the recording filter was given for job `id`
/// (waiting, bounded, for the scheduler to run the filter).
std::map<std::string, std::string> filterTicket(const jwtest::PrivateCupsd& cupsd, int id) {
  const fs::path record = cupsd.records() / (std::to_string(id) + ".options");
  for (int i = 0; i < 500 && !fs::exists(record); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  cups_option_t* options = nullptr;
  const int count = cupsParseOptions(hosttest::readFile(record).c_str(), 0, &options);
  std::map<std::string, std::string> ticket;
  for (int i = 0; i < count; ++i) {
    if (std::string_view(options[i].name).starts_with("jp.co.quivo.print."))
      ticket[options[i].name] = options[i].value;
  }
  cupsFreeOptions(count, options);
  return ticket;
}

// A session's steps on the tab inside the GTK print dialog, then Print: the
// job reaches the queue's filter with exactly the ticket the headless
// session saves for the same script, and the job name is the ticket's.
TEST_F(DialogTest, PrintFromTheDialogCarriesTheTicket) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\n/Helvetica findfont 12 scalefont setfont\nshowpage\n";
  const std::pair<std::string, std::string> cases[] = {
      {"Rec7300", "examples/sessions/vk7300-round-trip.json"},
      {"Rec410e", "examples/sessions/vk410e-every-key.json"},
  };
  for (const auto& [queue, session] : cases) {
    SCOPED_TRACE(queue);
    const std::string script = source(session).string();
    const std::string printer = "PRINTER=" + hosttest::SharedPrinter::address();
    const fs::path headless = temp().path() / (queue + ".session.json");
    CommandResult saved =
        jobwick({"session", script, "--var", printer, "--save-settings", headless.string()});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const json ticket = readJson(headless);
    std::map<std::string, std::string> expected;
    for (const auto& [key, value] : ticket["settings"].items()) expected[key] = value;
    ASSERT_GT(expected.size(), 10u);

    const auto before = jobsOf(*cupsd, queue);
    const fs::path states = temp().path() / (queue + ".print.json");
    // The ticket carries secrets and the shared scheduler's queues are open
    // to all: the dialog sends nothing unless told to all the same.
    const std::vector<std::string> words = {
        document.string(), "--printer", queue,     "--script",        script,
        "--var",           printer,     "--print", "--widget-states", states.string()};
    // (Preferences of its own: the refused Print still remembers the locks.)
    std::vector<std::string> refusedWords = words;
    refusedWords.insert(refusedWords.end(),
                        {"--prefs-dir", (temp().path() / ("refused-" + queue)).string()});
    CommandResult refused = printDialog(*cupsd, refusedWords);
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_NE(refused.err.find("jobwick: dialog: queue " + queue +
                               " lets other users read its job tickets"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(jobsOf(*cupsd, queue).size(), before.size());
    std::vector<std::string> allowed = words;
    allowed.push_back("--allow-exposed-ticket");
    CommandResult printed = printDialog(*cupsd, allowed);
    ASSERT_EQ(printed.exitCode, 0) << printed.err << printed.out;
    const json shown = readJson(states);
    EXPECT_EQ(shown["printed"], true);
    EXPECT_EQ(shown["tab"]["queue"], queue);
    EXPECT_NE(shown["tab"]["label"], "") << shown.dump();

    const auto after = jobsOf(*cupsd, queue);
    ASSERT_EQ(after.size(), before.size() + 1);
    const auto& [id, title] = *after.rbegin();
    EXPECT_EQ(filterTicket(*cupsd, id), expected);
    EXPECT_EQ(title, ticket.contains("jobName") ? ticket["jobName"].get<std::string>()
                                                : std::string("letter.ps"));
  }
}

// Print refused by the panel: its alert shows, nothing reaches the
// scheduler, and the dialog stays open with what the user chose.
TEST_F(DialogTest, RefusedPrintSubmitsNothingAndKeepsTheDialog) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  const auto before = jobsOf(*cupsd, "System7300");
  const fs::path states = temp().path() / "refused.json";
  CommandResult refused =
      printDialog(*cupsd, {document.string(), "--printer", "System7300", "--script",
                           source("tests/gtk/sessions/refused-print.json").string(), "--print",
                           "--widget-states", states.string()});
  EXPECT_EQ(refused.exitCode, 3) << refused.err;
  EXPECT_NE(refused.err.find("refused to print on System7300; nothing was submitted"),
            std::string::npos)
      << refused.err;
  const json shown = readJson(states);
  EXPECT_EQ(shown["printed"], false);
  EXPECT_EQ(shown["refusals"], 1);
  EXPECT_EQ(shown["stayedOpen"], true);
  EXPECT_EQ(shown["alertDialogs"], 1);
  bool kept = false;
  for (const auto& control : shown["panelAfterRefusal"]["controls"]) {
    if (control["identifier"] == "authenticationMatrix") kept = control["selectedRow"] == 1;
  }
  EXPECT_TRUE(kept) << shown["panelAfterRefusal"].dump();
  EXPECT_EQ(jobsOf(*cupsd, "System7300"), before);
}

// Choosing printers in the dialog: each model's queue shows its own bundle's
// panel in the one tab, a queue no bundle serves says why, and Cancel
// submits nothing. With no file, Cancel in the file chooser prints nothing.
TEST_F(DialogTest, QueueSwapCancelAndNoFile) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  const auto before = jobsOf(*cupsd, "Vk7300");
  const fs::path states = temp().path() / "swap.json";
  CommandResult swapped =
      printDialog(*cupsd, {document.string(), "--printer", "Vk7300", "--select-printer", "Vk410e",
                           "--select-printer", "Foreign", "--select-printer", "Vk7300", "--cancel",
                           "--widget-states", states.string()});
  EXPECT_EQ(swapped.exitCode, 1) << swapped.err;
  EXPECT_NE(swapped.err.find("cancelled; nothing was printed"), std::string::npos) << swapped.err;
  const json tabs = readJson(states)["tabs"];
  ASSERT_EQ(tabs.size(), 4u) << tabs.dump();
  const std::string bundles[] = {"JobwickVk7300.plugin", "JobwickVk410e.plugin", "",
                                 "JobwickVk7300.plugin"};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(tabs[i]["queue"].get<std::string>());
    if (bundles[i].empty()) {
      // A short note, the reason only on demand, and the panel's tab label.
      EXPECT_TRUE(tabs[i]["bundle"].is_null());
      EXPECT_EQ(tabs[i]["notice"], "No job handling for this printer");
      EXPECT_NE(tabs[i]["reason"].get<std::string>().find("Foreign"), std::string::npos);
      EXPECT_EQ(tabs[i]["label"], tabs[i - 1]["label"]);
      EXPECT_TRUE(tabs[i]["controls"].empty());
    } else {
      EXPECT_EQ(tabs[i]["bundle"], bundles[i]);
      EXPECT_TRUE(tabs[i]["notice"].is_null());
      EXPECT_GT(tabs[i]["controls"].size(), 10u);
    }
  }
  EXPECT_NE(tabs[0]["controls"], tabs[1]["controls"]) << "the other model's panel";
  EXPECT_EQ(tabs[0]["controls"], tabs[3]["controls"]);
  EXPECT_EQ(jobsOf(*cupsd, "Vk7300"), before);

  CommandResult nothing = printDialog(*cupsd, {"--cancel"});
  EXPECT_EQ(nothing.exitCode, 1);
  EXPECT_NE(nothing.err.find("no file was chosen"), std::string::npos) << nothing.err;

  // The note is in the user's language.
  CommandResult japanese =
      printDialog(*cupsd, {document.string(), "--printer", "Foreign", "--language", "ja",
                           "--cancel", "--widget-states", states.string()});
  EXPECT_EQ(japanese.exitCode, 1) << japanese.err;
  const json foreign = readJson(states)["tabs"][0];
  EXPECT_EQ(foreign["notice"],
            "\u3053\u306e\u30d7\u30ea\u30f3\u30bf\u30fc\u3067\u306f"
            "\u30b8\u30e7\u30d6\u51e6\u7406\u3092\u4f7f\u3048\u307e"
            "\u305b\u3093")
      << foreign.dump();
}

/// The member `member` of control `identifier` in a tab's widget states.
json shownIn(const json& tab, const std::string& identifier, const char* member) {
  for (const auto& control : tab["widgets"]["controls"])
    if (control["identifier"] == identifier) return control.value(member, json());
  return json();
}

// Entries typed for one model survive a change to the other model's queue
// and back, in the dialog's own tab, and the job then carries them.
TEST_F(DialogTest, PrinterChangesKeepWhatTheUserEntered) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path document = temp().path() / "minutes.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  const auto before = jobsOf(*cupsd, "Rec7300");
  const fs::path states = temp().path() / "kept.json";
  CommandResult printed = printDialog(
      *cupsd,
      {document.string(), "--printer", "Rec7300", "--enter", "accountNumberEditText=999", "--enter",
       "jobNameEditText=Minutes", "--click", "retentionCheckBox", "--select-printer", "Rec410e",
       "--select-printer", "Rec7300", "--print", "--allow-exposed-ticket", "--prefs-dir",
       (temp().path() / "kept-prefs").string(), "--widget-states", states.string()});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  const json tabs = readJson(states)["tabs"];
  ASSERT_EQ(tabs.size(), 3u) << tabs.dump();
  for (const auto& tab : tabs) {
    SCOPED_TRACE(tab["queue"].get<std::string>());
    EXPECT_EQ(shownIn(tab, "retentionCheckBox", "state"), 1);
    EXPECT_EQ(shownIn(tab, "accountNumberEditText", "text"), "999");
    EXPECT_EQ(shownIn(tab, "jobNameEditText", "text"), "Minutes");
  }
  EXPECT_EQ(tabs[1]["bundle"], "JobwickVk410e.plugin");
  const auto after = jobsOf(*cupsd, "Rec7300");
  ASSERT_EQ(after.size(), before.size() + 1);
  const auto ticket = filterTicket(*cupsd, after.rbegin()->first);
  const std::string key = "jp.co.quivo.print.PrintSettings.";
  ASSERT_TRUE(ticket.count(key + "jobSuspend")) << "no retention in the ticket";
  EXPECT_NE(ticket.at(key + "jobSuspend"), "0") << "printed without retention";
  EXPECT_TRUE(ticket.at(key + "accountNumber").ends_with("999"))
      << ticket.at(key + "accountNumber");
  // "Minutes" as the hexadecimal text of its bytes.
  EXPECT_NE(ticket.at(key + "jobName").find("4D696E75746573"), std::string::npos)
      << ticket.at(key + "jobName");
}

// Cancel pressed while the panel waits for a printer that never answers:
// the exchange ends and the dialog closes at once, not at the fetch's
// 20-second time-out, with no alert over the closing dialog.
TEST_F(DialogTest, CancelDuringAFetchClosesTheDialog) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path log = temp().path() / "silent.log";
  auto printer = hosttest::SharedPrinter::start({"--mode", "never"}, log);
  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  const fs::path states = temp().path() / "cancelled.json";
  CommandResult cancelled = printDialog(
      *cupsd, {document.string(), "--printer", "Vk7300", "--enter",
               "printersAddressEditText=127.0.0.1:" + std::to_string(printer->port()), "--click",
               "getFolderNameButton", "--cancel-after", "1", "--widget-states", states.string()});
  EXPECT_EQ(cancelled.exitCode, 1) << cancelled.err;
  EXPECT_NE(cancelled.err.find("cancelled; nothing was printed"), std::string::npos)
      << cancelled.err;
  const json shown = readJson(states);
  ASSERT_TRUE(shown.contains("closedAfterCancel")) << shown.dump();
  EXPECT_LT(shown["closedAfterCancel"].get<double>(), 2.0);
  EXPECT_EQ(shown["alertDialogs"], 0);
  EXPECT_NE(hosttest::readFile(log).find("/quivo-mfp-srv"), std::string::npos)
      << "the fetch never reached the printer";
}

/// Prints `document` on `queue` with "Minutes" typed as the job name and
/// expects the print to fail with `message` on stderr: exit status 1, one
/// failure shown in one error dialog, the dialog still open with the job
/// name kept, and no job queued. `dialog` runs jobwick dialog with its
/// arguments.
void expectRefusedAndKept(const jwtest::PrivateCupsd& cupsd, const fs::path& document,
                          const std::string& queue, const fs::path& states,
                          const std::string& message,
                          const std::function<CommandResult(std::vector<std::string>)>& dialog) {
  const auto before = jobsOf(cupsd, queue);
  CommandResult refused =
      dialog({document.string(), "--printer", queue, "--enter", "jobNameEditText=Minutes",
              "--print", "--widget-states", states.string()});
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_NE(refused.err.find(message), std::string::npos) << refused.err;
  const json shown = json::parse(hosttest::readFile(states), nullptr, false);
  EXPECT_EQ(shown["failures"], 1);
  EXPECT_EQ(shown["alertDialogs"], 1);
  EXPECT_EQ(shown["afterPrint"]["visible"], true);
  EXPECT_EQ(shownIn(shown["afterPrint"]["tab"], "jobNameEditText", "text"), "Minutes");
  EXPECT_EQ(jobsOf(cupsd, queue), before);
}

// Print on a queue that rejects jobs: the scheduler's answer is an error
// dialog naming the queue and its reason (before, Print did nothing and the
// dialog never returned), nothing is submitted, and the dialog stays open
// with what the user entered.
TEST_F(DialogTest, QueueThatRejectsJobsIsNamedAndTheDialogStays) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  expectRefusedAndKept(
      *cupsd, document, "Closed", temp().path() / "closed.json",
      "queue Closed does not accept jobs: closed for the test; nothing was printed",
      [&](std::vector<std::string> args) { return printDialog(*cupsd, std::move(args)); });
}

// A document larger than the scheduler takes (the shared one: a MiB) is
// refused while GTK sends it: the print job ends with GTK's error, and the
// user sees an error dialog naming the queue and the scheduler's reason;
// the dialog stays open with what the user entered, nothing is queued, and
// jobwick dialog does not report success.
TEST_F(DialogTest, DocumentTheSchedulerRefusesIsNamedAndTheDialogStays) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path document = temp().path() / "large.ps";
  {
    std::ofstream out(document);
    out << "%!PS\n";
    const std::string line = "%" + std::string(1023, 'x') + "\n";
    for (int i = 0; i < 2048; ++i) out << line;
    out << "showpage\n";
  }
  expectRefusedAndKept(
      *cupsd, document, "Vk7300", temp().path() / "large.json",
      "jobwick: dialog: queue Vk7300 refuses a document of 2.0 MiB: "
      "Request Entity Too Large (the job was not sent: ",
      [&](std::vector<std::string> args) { return printDialog(*cupsd, std::move(args)); });
}

/// What queue `queue`'s file: device holds once it holds `marker` (waiting,
/// bounded, for the scheduler to finish the job); empty when it never does.
std::string printedWith(const jwtest::PrivateCupsd& cupsd, const std::string& queue,
                        const std::string& marker) {
  for (int i = 0; i < 500; ++i) {
    const std::string printed = hosttest::readFile(cupsd.outputOf(queue));
    if (printed.find(marker) != std::string::npos) return printed;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return "";
}

// With no FILE the file chooser asks for one. The file picked in the
// chooser's own dialog is the one printed, with the dialog's panel as it
// opens and with a session's steps in the tab, and not the file beside it.
TEST_F(DialogTest, FileChosenInTheChooserIsPrinted) {
  JOBWICK_NEED_CUPSD(cupsd);
  const fs::path folder = temp().path() / "documents";
  fs::create_directories(folder);
  std::ofstream(folder / "beside.ps") << "%!PS\n(beside-document) pop\nshowpage\n";
  const std::string printer = "PRINTER=" + hosttest::SharedPrinter::address();
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string title;  // the job name the scheduler records
  };
  const Case cases[] = {
      {"plain", {"--print"}, "plain.ps"},
      {"scripted",
       {"--script", source("examples/sessions/vk7300-round-trip.json").string(), "--var", printer,
        "--print"},
       "Price list"},
  };
  for (const auto& [name, args, title] : cases) {
    SCOPED_TRACE(name);
    const fs::path chosen = folder / (name + ".ps");
    const std::string marker = "chosen-" + name + "-document";
    std::ofstream(chosen) << "%!PS\n(" << marker << ") pop\nshowpage\n";
    const auto before = jobsOf(*cupsd, "Rec7300");
    std::vector<std::string> words = {"--choose-file", chosen.string(), "--printer", "Rec7300",
                                      "--allow-exposed-ticket"};
    words.insert(words.end(), args.begin(), args.end());
    CommandResult printed = printDialog(*cupsd, words);
    ASSERT_EQ(printed.exitCode, 0) << printed.err << printed.out;
    EXPECT_NE(printed.out.find("Printed " + chosen.string() + " on Rec7300"), std::string::npos)
        << printed.out;
    const auto after = jobsOf(*cupsd, "Rec7300");
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.rbegin()->second, title);
    const std::string output = printedWith(*cupsd, "Rec7300", marker);
    EXPECT_NE(output, "") << "the chosen file never reached the printer";
    EXPECT_EQ(output.find("beside-document"), std::string::npos);
  }
}

// Cancel in the file chooser: a non-zero exit that says no file was chosen,
// and nothing reaches the scheduler. The test seam refuses what it cannot
// answer, naming the input.
TEST_F(DialogTest, FileChooserCancelAndItsMisuse) {
  JOBWICK_NEED_CUPSD(cupsd);
  const auto before = jobsOf(*cupsd, "Rec7300");
  CommandResult cancelled = printDialog(*cupsd, {"--printer", "Rec7300", "--cancel"});
  EXPECT_EQ(cancelled.exitCode, 1);
  EXPECT_NE(cancelled.err.find("no file was chosen; nothing was printed"), std::string::npos)
      << cancelled.err;
  EXPECT_EQ(jobsOf(*cupsd, "Rec7300"), before);

  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  const fs::path missing = temp().path() / "missing.ps";
  const std::pair<std::vector<std::string>, std::pair<int, std::string>> misuse[] = {
      {{"--choose-file", missing.string(), "--printer", "Rec7300", "--print"},
       {1, missing.string() + ": cannot be read"}},
      {{document.string(), "--choose-file", document.string()}, {2, "give one or the other"}},
      {{"--choose-file", document.string(), "--script", document.string(), "--screenshot", "x.png"},
       {2, "--screenshot shows none"}},
  };
  for (const auto& [args, expected] : misuse) {
    SCOPED_TRACE(args.front());
    CommandResult refused = printDialog(*cupsd, args);
    EXPECT_EQ(refused.exitCode, expected.first) << refused.err;
    EXPECT_NE(refused.err.find(expected.second), std::string::npos) << refused.err;
  }
  EXPECT_EQ(jobsOf(*cupsd, "Rec7300"), before);
}

// The job-ticket entries the user saved for the queue with lpoptions are
// the panel's starting values in the GTK dialog, as in jobwick print: the
// tab shows the saved user name, and the job carries it as the panel
// writes it (with the Latin 1 copy the panel adds, which lpoptions lacks).
TEST_F(DialogTest, DialogStartsFromTheQueuesLpoptions) {
  JOBWICK_NEED_CUPSD(cupsd);
  const std::string userName = "jp.co.quivo.print.PrintSettings.userName";
  const fs::path lpoptions = temp().path() / "home/.cups/lpoptions";
  fs::create_directories(lpoptions.parent_path());
  std::ofstream(lpoptions) << "Dest Rec7300 " << userName << "=6C7075736572\n";
  const fs::path document = temp().path() / "letter.ps";
  std::ofstream(document) << "%!PS\nshowpage\n";
  // A person's dialog, and one a session script drives.
  const fs::path script = temp().path() / "restore.json";
  std::ofstream(script) << R"({"steps": [{"do": "restore"}]})";
  for (const bool scripted : {false, true}) {
    SCOPED_TRACE(scripted ? "scripted" : "pressed");
    const fs::path states = temp().path() / "lpoptions.json";
    const auto before = jobsOf(*cupsd, "Rec7300");
    std::vector<std::string> args = {document.string(), "--printer", "Rec7300", "--widget-states",
                                     states.string()};
    if (scripted) {
      args.insert(args.end(), {"--script", script.string()});
    } else {
      args.push_back("--print");
    }
    CommandResult printed = printDialog(*cupsd, args);
    ASSERT_EQ(printed.exitCode, 0) << printed.err << printed.out;
    const json shown = readJson(states);
    if (!scripted) {
      EXPECT_EQ(shownIn(shown["tabs"][0], "userNameEditText", "text"), "lpuser") << shown.dump();
    }
    const auto after = jobsOf(*cupsd, "Rec7300");
    ASSERT_EQ(after.size(), before.size() + 1);
    const auto ticket = filterTicket(*cupsd, after.rbegin()->first);
    EXPECT_EQ(ticket.count(userName) ? ticket.at(userName) : "", "6C7075736572");
    EXPECT_EQ(ticket.count(userName + "2") ? ticket.at(userName + "2") : "", "6C7075736572");
  }
  fs::remove(lpoptions);
}

}  // namespace
