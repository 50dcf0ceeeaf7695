// SPDX-License-Identifier: Apache-2.0
// The queue → bundle lookup: PPD keyword, model-name fallback, and the
// scheduler's answers for real queues of a private cupsd.
#include "host/cups/cups_queue.h"
#include "host/cups/queue_bundles.h"

#include <cups/cups.h>

#include <fstream>

#include <gtest/gtest.h>

#include "cups_fixture.h"
#include "jobwick_fixture.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using jobwick::host::bundleForPPD;

fs::path bundleDir() {
  return JOBWICK_BUNDLE_DIR;
}

class BundleForPPDTest : public JobwickTest {
 protected:
  /// vk7300.ppd with its keyword line replaced by `line`.
  fs::path variant(const std::string& line, const std::string& model = "") {
    std::string text = jwtest::PrivateCupsd::read(source("examples/ppd/vk7300.ppd"));
    const auto at = text.find("*JobwickDialogExtension:");
    text.replace(at, text.find('\n', at) - at, line);
    if (!model.empty()) {
      const auto m = text.find("*ModelName:");
      text.replace(m, text.find('\n', m) - m, "*ModelName: \"" + model + "\"");
    }
    return scratchFile("variant.ppd", text);
  }
};

TEST_F(BundleForPPDTest, KeywordThenModelNameThenAClearError) {
  struct Case {
    std::string line, model, bundle, error;
  } cases[] = {
      {"*JobwickDialogExtension: \"JobwickVk7300.plugin\"", "", "JobwickVk7300.plugin", ""},
      // The keyword wins over the model name.
      {"*JobwickDialogExtension: \"JobwickVk410e.plugin\"", "", "JobwickVk410e.plugin", ""},
      // One plain path component: a PPD cannot load code from elsewhere.
      {"*JobwickDialogExtension: \"/tmp/evil/JobwickVk7300.plugin\"", "", "",
       "the PPD names bundle \"/tmp/evil/JobwickVk7300.plugin\" (*JobwickDialogExtension), which "
       "is not a bundle folder's name"},
      {"*JobwickDialogExtension: \"..\"", "", "", "\"..\" (*JobwickDialogExtension), which is not"},
      {"*JobwickDialogExtension: \".\"", "", "", "\".\" (*JobwickDialogExtension), which is not"},
      {"*JobwickDialogExtension: \"JobwickVk7300.plugin/..\"", "", "",
       "which is not a bundle folder's name"},
      {"*JobwickDialogExtension: \"\"", "", "", "which is not a bundle folder's name"},
      {"*% none", "", "JobwickVk7300.plugin", ""},
      {"*% none", "Quivo VK-410E", "JobwickVk410e.plugin", ""},
      {"*JobwickDialogExtension: \"JobwickVk9.plugin\"", "", "",
       "the PPD names bundle \"JobwickVk9.plugin\""},
      {"*% none", "Acme LaserPro 9", "", "no bundle serves its printer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line + " / " + c.model);
    std::string error;
    auto bundle = bundleForPPD(variant(c.line, c.model), bundleDir(), &error);
    if (c.bundle.empty()) {
      ASSERT_FALSE(bundle);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_NE(error.find("bundles: JobwickVk410e.plugin, JobwickVk7300.plugin"),
                std::string::npos)
          << error;
    } else {
      ASSERT_TRUE(bundle) << error;
      EXPECT_EQ(*bundle, bundleDir() / c.bundle);
    }
  }
}

// A bundle folder that is a link to a folder elsewhere is not one of the
// bundles, whatever its name.
TEST_F(BundleForPPDTest, LinkOutOfTheBundlesFolderIsRefused) {
  const fs::path bundles = temp().path() / "bundles";
  fs::create_directories(bundles / "JobwickVk410e.plugin");
  fs::create_directories(temp().path() / "elsewhere" / "JobwickVk7300.plugin");
  fs::create_directory_symlink(temp().path() / "elsewhere" / "JobwickVk7300.plugin",
                               bundles / "JobwickVk7300.plugin");
  std::string error;
  EXPECT_FALSE(
      bundleForPPD(variant("*JobwickDialogExtension: \"JobwickVk7300.plugin\""), bundles, &error));
  EXPECT_NE(error.find("which lies outside the bundles folder"), std::string::npos) << error;
  auto inside =
      bundleForPPD(variant("*JobwickDialogExtension: \"JobwickVk410e.plugin\""), bundles, &error);
  ASSERT_TRUE(inside) << error;
  EXPECT_EQ(*inside, bundles / "JobwickVk410e.plugin");
}

// The PPD's texts are quoted with escapes: no terminal control, no line
// break, no invalid UTF-8 reaches the message.
TEST_F(BundleForPPDTest, PPDTextsInTheErrorAreEscaped) {
  const std::string hostile = "X\x1b]0;pwned\x07\xc2\x85\xfe";
  const struct {
    std::string line, model, shown;
  } cases[] = {
      {"*JobwickDialogExtension: \"" + hostile + "\"", "",
       "\"X\\x1b]0;pwned\\x07\\xc2\\x85\\xfe\""},
      {"*% none", hostile, "model name \"X\\x1b]0;pwned\\x07\\xc2\\x85\\xfe\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    std::string error;
    ASSERT_FALSE(bundleForPPD(variant(c.line, c.model), bundleDir(), &error));
    EXPECT_NE(error.find(c.shown), std::string::npos) << error;
    for (unsigned char byte : error) EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << error;
  }
}

TEST_F(BundleForPPDTest, UnreadablePPDIsNamed) {
  std::string error;
  EXPECT_FALSE(bundleForPPD(temp().path() / "missing.ppd", bundleDir(), &error));
  EXPECT_NE(error.find("cannot read the PPD"), std::string::npos) << error;
}

TEST(QueueLookupTest, RealQueuesOfAPrivateScheduler) {
  JOBWICK_NEED_CUPSD(cupsd);
  cupsSetServer(cupsd->server().c_str());
  struct Case {
    std::string queue, bundle, error;
  } cases[] = {
      {"Vk7300", "JobwickVk7300.plugin", ""},
      {"Vk410e", "JobwickVk410e.plugin", ""},
      {"Plain7300", "JobwickVk7300.plugin", ""},
      {"Foreign", "", "queue Foreign: no bundle serves its printer"},
      {"NoSuchQueue", "", "queue NoSuchQueue: the CUPS scheduler at " + cupsd->server()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.queue);
    std::string error;
    auto target = jobwick::host::resolveQueue(c.queue, bundleDir(), &error);
    if (c.bundle.empty()) {
      ASSERT_FALSE(target);
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
      continue;
    }
    ASSERT_TRUE(target) << error;
    EXPECT_EQ(target->bundle.filename(), c.bundle);
    EXPECT_EQ(target->queue.deviceURI, "file://" + cupsd->outputOf(c.queue).string());
    EXPECT_TRUE(fs::exists(target->ppd->path()));
    const fs::path ppd = target->ppd->path();
    target.reset();
    EXPECT_FALSE(fs::exists(ppd)) << "the fetched PPD is removed with the target";
  }
  std::string error;
  auto queues = jobwick::host::listQueues(&error);
  ASSERT_TRUE(queues) << error;
  std::vector<std::string> names;
  for (const auto& queue : *queues) names.push_back(queue.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Closed", "Foreign", "Plain7300", "Rec410e", "Rec7300",
                                             "System7300", "Vk410e", "Vk7300"}));
  cupsSetServer(nullptr);
}

// Whether a queue takes jobs, asked of the scheduler (single queue and
// listing alike): a rejecting queue says so with the administrator's reason.
TEST(QueueLookupTest, RejectingQueueIsToldApartWithItsReason) {
  JOBWICK_NEED_CUPSD(cupsd);
  cupsSetServer(cupsd->server().c_str());
  std::string error;
  auto queues = jobwick::host::listQueues(&error);
  ASSERT_TRUE(queues) << error;
  const std::pair<std::string, std::string> cases[] = {
      {"Vk7300", ""},
      {"Closed", "queue Closed does not accept jobs: closed for the test"},
  };
  for (const auto& [name, refusal] : cases) {
    SCOPED_TRACE(name);
    auto queue = jobwick::host::describeQueue(name, &error);
    ASSERT_TRUE(queue) << error;
    EXPECT_EQ(queue->acceptingJobs, refusal.empty());
    EXPECT_EQ(queue->state, "idle");
    EXPECT_EQ(jobwick::host::jobRefusal(*queue), refusal);
    for (const auto& listed : *queues) {
      if (listed.name == name) {
        EXPECT_EQ(jobwick::host::jobRefusal(listed), refusal);
      }
    }
  }
  cupsSetServer(nullptr);
}

// The queue listing's cache: a queue whose configuration the scheduler has
// not changed since costs no PPD fetch; a changed one, a damaged cache or a
// scheduler that gives no change time does.
TEST_F(BundleForPPDTest, QueueListingFetchesAPPDOnlyForAChangedQueue) {
  JOBWICK_NEED_CUPSD(cupsd);
  cupsSetServer(cupsd->server().c_str());
  std::string error;
  auto queue = jobwick::host::describeQueue("Vk410e", &error);
  ASSERT_TRUE(queue) << error;
  EXPECT_GT(queue->configChanged, 0) << "the scheduler's printer-config-change-time";
  const fs::path cache = temp().path() / "cache" / "queue-keywords.json";
  auto pass = [&](long long changed) {
    jobwick::host::QueueInfo asked = *queue;
    asked.configChanged = changed;
    jobwick::host::QueueBundles bundles(bundleDir(), cache);
    auto bundle = bundles.forQueue(asked, &error);
    EXPECT_TRUE(bundle) << error;
    EXPECT_EQ(bundle.value_or(fs::path()).filename(), "JobwickVk410e.plugin");
    return bundles.fetchedPPDs();
  };
  const struct {
    long long changed;
    const char* damage;
    int fetched;
  } steps[] = {
      {1000, nullptr, 1},    {1000, nullptr, 0}, {1001, nullptr, 1}, {1001, nullptr, 0},
      {1001, "not json", 1}, {1001, nullptr, 0}, {0, nullptr, 1},    {0, nullptr, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(std::to_string(step.changed) + (step.damage ? " damaged" : ""));
    if (step.damage) std::ofstream(cache) << step.damage;
    EXPECT_EQ(pass(step.changed), step.fetched);
  }
  // Other queues' entries stay when one queue is asked for.
  jobwick::host::QueueInfo other = *queue;
  other.name = "Vk7300";
  other.configChanged = 1000;
  {
    jobwick::host::QueueBundles bundles(bundleDir(), cache);
    EXPECT_EQ(bundles.forQueue(other, &error).value_or(fs::path()).filename(),
              "JobwickVk7300.plugin");
  }
  EXPECT_EQ(pass(1001), 0);
  cupsSetServer(nullptr);
}

TEST(QueueLookupTest, ASchedulerThatIsNotRunning) {
  const std::string server = "127.0.0.1:" + std::to_string(SharedPrinter::closedPort());
  cupsSetServer(server.c_str());
  std::string error;
  EXPECT_FALSE(jobwick::host::describeQueue("Vk7300", &error));
  EXPECT_EQ(error.rfind("cannot reach the CUPS scheduler at " + server + ": ", 0), 0u) << error;
  EXPECT_FALSE(jobwick::host::listQueues(&error));
  EXPECT_NE(error.find(server), std::string::npos) << error;
  cupsSetServer(nullptr);
}

}  // namespace
}  // namespace hosttest
