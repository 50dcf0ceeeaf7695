// SPDX-License-Identifier: Apache-2.0
// What comes from outside the host (documents, PPD texts, the scheduler's
// words, command-line values) can neither exhaust it, drive the terminal,
// break its JSON nor cut a ticket entry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/cli/dialog_options.h"
#include "host/common/document.h"
#include "host/common/exit_status.h"
#include "host/common/json_text.h"
#include "run_command.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

TEST(DocumentCheck, AcceptsFilesFifosAndStandardInputOnly) {
  TempDir temp;
  const fs::path file = writeFile(temp.path() / "doc.ps", "%!PS\n");
  const fs::path fifo = temp.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path locked = writeFile(temp.path() / "locked.ps", "%!PS\n");
  fs::permissions(locked, fs::perms::none);
  const struct {
    std::string file, message;
  } cases[] = {
      {file.string(), ""},
      {fifo.string(), ""},
      {"-", ""},
      {(temp.path() / "missing.ps").string(), "missing.ps: cannot be read (no such file)"},
      {temp.path().string(), "cannot be read (a folder, not a readable file)"},
      // Endless: refused before anything is read.
      {"/dev/zero", "/dev/zero: cannot be read (not a regular file or a FIFO)"},
      {(temp.path() / "line\nbreak").string(), "line\\nbreak: cannot be read (no such file)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string error;
    EXPECT_EQ(jobwick::host::checkDocument(c.file, &error), c.message.empty()) << error;
    if (!c.message.empty()) {
      EXPECT_THAT(error, HasSubstr(c.message));
    }
  }
  if (::geteuid() != 0) {
    std::string error;
    EXPECT_FALSE(jobwick::host::checkDocument(locked.string(), &error));
    EXPECT_THAT(error, HasSubstr("not a readable file"));
  }
}

// A FIFO without a writer is opened at once and reads as empty.
TEST(DocumentCheck, FifoWithoutWriterNeitherBlocksNorBreaks) {
  TempDir temp;
  const fs::path fifo = temp.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string error;
  platform::UniqueFd fd = jobwick::host::openDocument(fifo.string(), &error);
  ASSERT_TRUE(fd) << error;
  std::string got;
  EXPECT_TRUE(jobwick::host::streamBounded(
      fd.get(), 100, [&](std::string_view chunk) { return got.append(chunk), true; }, &error));
  EXPECT_TRUE(got.empty());
}

TEST(DocumentStream, ChunksUpToTheLimitThenFails) {
  TempDir temp;
  const std::string bytes(200 * 1024, 'x');
  const fs::path file = writeFile(temp.path() / "doc.ps", bytes);
  const struct {
    std::size_t limit;
    bool ok;
    std::string error;
  } cases[] = {
      {bytes.size(), true, ""},
      {bytes.size() - 1, false, "larger than 204799 bytes (the limit)"},
      {std::size_t(1) << 30, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limit);
    std::string error;
    platform::UniqueFd fd = jobwick::host::openDocument(file.string(), &error);
    ASSERT_TRUE(fd) << error;
    std::string got;
    std::size_t chunks = 0;
    const bool ok = jobwick::host::streamBounded(
        fd.get(), c.limit,
        [&](std::string_view chunk) { return ++chunks, got.append(chunk), true; }, &error);
    EXPECT_EQ(ok, c.ok) << error;
    EXPECT_EQ(error, c.error);
    EXPECT_GT(chunks, 1u);
    if (ok) {
      EXPECT_EQ(got, bytes);
    }
    EXPECT_LE(got.size(), c.limit);
  }
  // A read error (a folder's descriptor) fails with the system's reason.
  platform::UniqueFd folder(::open(temp.path().c_str(), O_RDONLY | O_DIRECTORY));
  std::string error;
  EXPECT_FALSE(jobwick::host::streamBounded(
      folder.get(), 100, [](std::string_view) { return true; }, &error));
  EXPECT_THAT(error, HasSubstr("read error: "));
}

// Error lines carry escapes, never the control characters or bad bytes of
// what they quote; the JSON form keeps the text, with bad bytes replaced.
TEST(OutsideText, ErrorsAreEscapedAndJsonNeverThrows) {
  const std::string hostile = "Evil\x1b]0;title\x07 \xc2\x9b\xff\nFORGED";
  std::ostringstream out, err;
  jobwick::host::reportError({out, err, true, "queues"}, jobwick::host::ExitStatus::failure,
                             "PPD says " + hostile);
  EXPECT_EQ(err.str(),
            "jobwick: queues: PPD says Evil\\x1b]0;title\\x07 \\xc2\\x9b\\xff\n"
            "jobwick: queues: FORGED\n");
  const nlohmann::json error = nlohmann::json::parse(out.str())["error"];
  EXPECT_EQ(error["message"], "PPD says Evil\x1b]0;title\x07 \xc2\x9b\xef\xbf\xbd\nFORGED");

  const nlohmann::ordered_json states = {{"title", hostile}};
  std::string text;
  EXPECT_NO_THROW(text = jobwick::host::jsonText(states, 2));
  EXPECT_THAT(text, HasSubstr("\\u001b]0;title\\u0007"));
  EXPECT_THAT(text, HasSubstr("\xef\xbf\xbd"));
}

TEST(OutsideText, NulInAnOptionValueIsAUsageError) {
  using namespace std::string_literals;
  jobwick::host::ParsedArgs args;
  args.options["--set"] = {"jp.co.quivo.print.PrintSettings.filing\0x=3"s};
  std::string error;
  EXPECT_FALSE(jobwick::host::checkOptionValues(args, &error));
  EXPECT_EQ(error, "option --set: a NUL character in the value");
}

}  // namespace
}  // namespace hosttest
