// SPDX-License-Identifier: Apache-2.0
// Private job tickets on a shared scheduler: a private scheduler with the
// access rules CUPS ships, a queue set up by `jobwick setup`, and two real
// local users: the owner prints and reads the whole ticket back; the other
// user sees none of it and can neither change, release nor cancel the job,
// even under the owner's name; the filter still gets every entry byte for
// byte.
#include "private_scheduler.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

using PrivacyTest = PrivateSchedulerTest;

TEST_F(PrivacyTest, SetupAddsThePolicyOnceKeepsTheRestAndUndoRestoresTheDefault) {
  const fs::path conf = cupsd_->folder() / "etc/cupsd.conf";
  const std::string shipped = readFile(conf);
  CommandResult first = setupQueue("Setup7300");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_NE(first.out.find("policy jobwick"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("queue Setup7300: made with"), std::string::npos) << first.out;
  const std::string written = readFile(conf);
  if (shipped.find("<Policy jobwick>") == std::string::npos) {
    // Added at the end, every byte before it as it was.
    EXPECT_EQ(written.substr(0, shipped.size()), shipped);
    EXPECT_NE(written.find("JobPrivateValues all", shipped.size()), std::string::npos);
  }

  // A second run changes nothing, the configuration included.
  CommandResult again = setupQueue("Setup7300");
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.out,
            "queue Setup7300: nothing to change; its tickets are private (policy jobwick)\n");
  EXPECT_EQ(readFile(conf), written);

  const json queues =
      jobwickJson({"queues", "--json"}, nullptr, {{"CUPS_SERVER", cupsd_->socket().string()}});
  std::map<std::string, bool> privateQueues;
  for (const auto& queue : queues) privateQueues[queue["queue"]] = queue["ticketsPrivate"];
  EXPECT_TRUE(privateQueues["Setup7300"]);
  EXPECT_FALSE(privateQueues["Open7300"]);

  // Only an administrator changes the queue; --undo puts it back, once.
  EXPECT_EQ(as(&kOwner, {"setup", "--undo", "Setup7300"}).exitCode, 1);
  CommandResult undo = as(nullptr, {"setup", "--undo", "Setup7300"});
  EXPECT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_NE(undo.out.find("policy jobwick -> default"), std::string::npos) << undo.out;
  EXPECT_NE(as(nullptr, {"setup", "--undo", "Setup7300"}).out.find("nothing to change"),
            std::string::npos);
  const json after =
      jobwickJson({"queues", "--json"}, nullptr, {{"CUPS_SERVER", cupsd_->socket().string()}});
  for (const auto& queue : after) {
    if (queue["queue"] == "Setup7300") {
      EXPECT_EQ(queue["opPolicy"], "default");
    }
  }
}

TEST_F(PrivacyTest, OnlyTheOwnerReadsOrActsOnAPrivateJobAndTheFilterGetsEveryEntry) {
  ASSERT_EQ(setupQueue("Private7300").exitCode, 0);
  const fs::path saved = temp().path() / kOwner.name / "saved.json";
  CommandResult printed =
      as(&kOwner, {"print", document_.string(), "--printer", "Private7300", "--settings",
                   secretSettings().string(), "--option", "job-hold-until=indefinite",
                   "--save-settings", saved.string()});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  const std::string job = printed.out.substr(0, printed.out.find('\n'));
  const int id = std::stoi(job.substr(job.rfind('-') + 1));
  const json sent = json::parse(readFile(saved))["settings"];
  ASSERT_GE(sent.size(), 20u);

  // The owner reads the whole ticket back.
  CommandResult own = as(&kOwner, {"ticket", "show", "--job", job, "--json"});
  ASSERT_EQ(own.exitCode, 0) << own.err;
  const json report = json::parse(own.out, nullptr, false);
  ASSERT_TRUE(report.contains("fields")) << own.out;
  std::set<std::string> keys, sentKeys;
  for (const auto& field : report["fields"])
    for (const auto& key : field["keys"]) keys.insert(key.get<std::string>());
  for (const auto& [key, value] : sent.items()) sentKeys.insert(key);
  EXPECT_EQ(keys, sentKeys);

  // The other user, over the socket and over TCP, in its own name or the
  // owner's: no ticket value, and no change to the job.
  ASSERT_TRUE(sent.contains(std::string(kPrefix) + "jobSuspend2Key")) << sent.dump(1);
  const std::string cipher = sent[std::string(kPrefix) + "jobSuspend2Key"];
  for (bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "over TCP" : "over the local socket");
    for (const auto& claimed :
         {std::map<std::string, std::optional<std::string>>{}, {{"CUPS_USER", kOwner.name}}}) {
      CommandResult seen = as(&kOther, {"ticket", "show", "--job", job, "--json"}, tcp, claimed);
      EXPECT_EQ(seen.out.find(cipher), std::string::npos) << seen.out;
      EXPECT_EQ(seen.out.find("jobSuspend2Key"), std::string::npos) << seen.out;
    }
    EXPECT_NE(as(&kOther, {"cancel", "-U", kOwner.name, std::to_string(id)}, tcp).exitCode, 0);
    EXPECT_NE(as(&kOther, {"lp", "-U", kOwner.name, "-i", std::to_string(id), "-H", "resume"}, tcp)
                  .exitCode,
              0);
    EXPECT_NE(as(&kOther,
                 {"lp", "-U", kOwner.name, "-i", std::to_string(id), "-o",
                  std::string(kPrefix) + "filing=0"},
                 tcp)
                  .exitCode,
              0);
    EXPECT_EQ(jobState(id), IPP_JSTATE_HELD);
  }

  // The owner releases it; the filter gets every entry as it was saved.
  CommandResult released = as(&kOwner, {"lp", "-i", std::to_string(id), "-H", "resume"});
  ASSERT_EQ(released.exitCode, 0) << released.err;
  const auto options = filterOptions(id);
  for (const auto& [key, value] : sent.items()) {
    EXPECT_EQ(options.count(key) ? options.at(key) : "(missing)", value.get<std::string>()) << key;
  }
}

TEST_F(PrivacyTest, AQueueOthersCanReadTakesNoSecretsUnlessAllowed) {
  // A ticket without secrets goes. (First: the ticket with secrets below
  // locks its user number, which later tickets of this user then carry.)
  const fs::path plain = scratchFile("plain.json", R"({"settings": {}})");
  ::chmod(plain.c_str(), 0644);
  CommandResult accepted =
      as(&kOwner, {"print", document_.string(), "--printer", "Open7300", "--settings",
                   plain.string(), "--set", std::string(kPrefix) + "accountNumber=4711"});
  EXPECT_EQ(accepted.exitCode, 0) << accepted.err;

  const std::size_t before = jobCount();
  CommandResult refused = as(&kOwner, {"print", document_.string(), "--printer", "Open7300",
                                       "--settings", secretSettings().string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(
      refused.err.find("queue Open7300 lets other users read its job tickets (policy default)"),
      std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("a pass code, a folder password, a login name, a password and a "
                             "user number"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("\"jobwick setup Open7300\""), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(jobCount(), before);
  // In Japanese the whole refusal is, the list of secrets too.
  CommandResult japanese = as(&kOwner,
                              {"print", document_.string(), "--printer", "Open7300", "--settings",
                               secretSettings().string()},
                              false, {{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", std::nullopt}});
  EXPECT_EQ(japanese.exitCode, 1);
  EXPECT_NE(
      japanese.err.find("キュー Open7300 はジョブチケットを他のユーザーに読ませます (ポリシー "
                        "default)。このチケットにはパスコード、フォルダーのパスワード、ログ"
                        "イン名、パスワードとユーザー番号が含まれるため"),
      std::string::npos)
      << japanese.err;
  EXPECT_EQ(jobCount(), before);

  CommandResult allowed =
      as(&kOwner, {"print", document_.string(), "--printer", "Open7300", "--settings",
                   secretSettings().string(), "--allow-exposed-ticket"});
  EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
  EXPECT_EQ(jobCount(), before + 1);
}

}  // namespace
}  // namespace hosttest
