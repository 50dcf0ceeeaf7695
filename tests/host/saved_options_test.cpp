// SPDX-License-Identifier: Apache-2.0
// What of a destination's options goes to the panel, what to the job, and
// what stays with the queue.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/cups/saved_options.h"

namespace {

using jobwick::host::OptionList;
using jobwick::host::splitSavedOptions;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr char kAccount[] = "jp.co.quivo.print.PrintSettings.accountNumber";

TEST(SplitSavedOptions, TicketEntriesToThePanelChangedOptionsToTheJob) {
  const OptionList destination = {
      {"copies", "1"},                // the queue's own default
      {"job-sheets", "none,none"},    // the queue's own default, two values
      {"Duplex", "DuplexNoTumble"},   // saved, differs from the queue's
      {"number-up", "2"},             // saved, differs from the queue's
      {"media", "iso_a5_148x210mm"},  // saved, the queue has no default
      {kAccount, "4711"},             // a ticket entry, even as the queue's default
      {"printer-info", "Office"},     // describes the queue
      {"printer-make-and-model", "Quivo VK-7300 PS"},
      {"marker-change-time", "0"},
      {"device-uri", "socket://10.0.0.5"},
      {"auth-info-required", "none"},
  };
  const OptionList queueDefaults = {{"copies", "1"},
                                    {"job-sheets", "none,none"},
                                    {"Duplex", "None"},
                                    {"number-up", "1"},
                                    {kAccount, "4711"}};
  const auto saved = splitSavedOptions(destination, queueDefaults);
  EXPECT_THAT(saved.ticket, ElementsAre(Pair(kAccount, "4711")));
  EXPECT_THAT(saved.job, ElementsAre(Pair("Duplex", "DuplexNoTumble"), Pair("number-up", "2"),
                                     Pair("media", "iso_a5_148x210mm")));
  EXPECT_THAT(splitSavedOptions({}, queueDefaults).job, IsEmpty());
}

}  // namespace
