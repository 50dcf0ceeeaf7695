// SPDX-License-Identifier: Apache-2.0
// The bundles serving many queues at once (`jobwick queues`), without
// fetching every queue's PPD each time: the few PPD keywords the bundle
// choice reads are remembered per queue in the user's cache folder, keyed
// by the scheduler, the queue's name and the time the scheduler last
// changed the queue's configuration (printer-config-change-time, which a
// new PPD changes). A queue left as it was costs no request.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "host/cups/cups_queue.h"

namespace jobwick::host {

/// The cache file: $XDG_CACHE_HOME/jobwick/queue-keywords.json, else
/// ~/.cache/jobwick/queue-keywords.json; nullopt when neither can be told.
std::optional<std::filesystem::path> queueKeywordCacheFile();

class QueueBundles {
 public:
  /// Reads the cache (`cacheFile`: queueKeywordCacheFile()); a missing,
  /// damaged or foreign file is an empty cache.
  explicit QueueBundles(std::filesystem::path bundleDir,
                        std::optional<std::filesystem::path> cacheFile = queueKeywordCacheFile());
  /// Writes the cache back when it changed (entries of queues not asked
  /// for are dropped, so it never outgrows the scheduler's queue list).
  /// A cache that cannot be written is only slower next time.
  ~QueueBundles();
  QueueBundles(const QueueBundles&) = delete;
  QueueBundles& operator=(const QueueBundles&) = delete;

  /// What bundleForPPD answers for the queue's PPD; the PPD is fetched only
  /// when the cache has no entry for the queue as it is now.
  std::optional<std::filesystem::path> forQueue(const QueueInfo& queue, std::string* error);

  /// How many PPDs forQueue fetched so far.
  int fetchedPPDs() const { return fetched_; }

 private:
  struct Entry {
    long long changed = 0;
    std::map<std::string, std::string> keywords;
  };
  std::filesystem::path bundleDir_;
  std::optional<std::filesystem::path> cacheFile_;
  std::map<std::string, Entry> read_;  // as the file held them
  std::map<std::string, Entry> used_;  // the entries asked for, to write back
  bool changed_ = false;
  int fetched_ = 0;
};

}  // namespace jobwick::host
