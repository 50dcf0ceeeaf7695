// SPDX-License-Identifier: Apache-2.0
// The bundles serving the scheduler's queues, with the PPD keywords they
// were chosen by kept in the user's cache folder.
#include "host/cups/queue_bundles.h"

#include <cstdlib>
#include <ctime>
#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

#include "host/common/bounded_read.h"
#include "platform/atomic_file.h"
#include "platform/ppd.h"

namespace jobwick::host {

namespace fs = std::filesystem;

namespace {

constexpr int kCacheFormat = 1;
// The cache holds every queue of a scheduler; more than this many is no
// list of queues a person keeps, and what is over the bound is dropped.
constexpr std::size_t kMaxEntries = 4096;
constexpr std::size_t kMaxCacheBytes = 4u << 20;

std::string hexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

std::optional<std::string> bytesOf(const std::string& hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += char(high * 16 + low);
  }
  return bytes;
}

std::string keyOf(const QueueInfo& queue) {
  return schedulerName() + "\n" + queue.name;
}

}  // namespace

std::optional<fs::path> queueKeywordCacheFile() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  // A relative XDG_CACHE_HOME is invalid and ignored.
  if (cache && cache[0] == '/') return fs::path(cache) / "jobwick" / "queue-keywords.json";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return fs::path(home) / ".cache" / "jobwick" / "queue-keywords.json";
  return std::nullopt;
}

QueueBundles::QueueBundles(fs::path bundleDir, std::optional<fs::path> cacheFile)
    : bundleDir_(std::move(bundleDir)), cacheFile_(std::move(cacheFile)) {
  std::string text, error;
  if (!cacheFile_ || !readBoundedFile(*cacheFile_, "cache", kMaxCacheBytes, &text, &error)) return;
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (!document.is_object() || document.value("format", 0) != kCacheFormat) return;
  const auto queues = document.find("queues");
  if (queues == document.end() || !queues->is_object()) return;
  for (const auto& [key, stored] : queues->items()) {
    if (!stored.is_object() || !stored.contains("changed") ||
        !stored["changed"].is_number_integer() || !stored.contains("keywords") ||
        !stored["keywords"].is_object()) {
      continue;
    }
    Entry entry{stored["changed"].get<long long>(), {}};
    bool whole = true;
    for (const auto& [keyword, hex] : stored["keywords"].items()) {
      const auto value = hex.is_string() ? bytesOf(hex.get<std::string>()) : std::nullopt;
      if (value) entry.keywords[keyword] = *value;
      whole = whole && value;
    }
    if (whole) read_[key] = std::move(entry);
  }
}

QueueBundles::~QueueBundles() {
  if (!changed_ || !cacheFile_) return;
  try {
    nlohmann::json queues = nlohmann::json::object();
    auto add = [&](const std::string& key, const Entry& entry) {
      if (queues.size() >= kMaxEntries || queues.contains(key)) return;
      nlohmann::json keywords = nlohmann::json::object();
      for (const auto& [keyword, value] : entry.keywords) keywords[keyword] = hexOf(value);
      queues[key] = {{"changed", entry.changed}, {"keywords", std::move(keywords)}};
    };
    for (const auto& [key, entry] : used_) add(key, entry);
    for (const auto& [key, entry] : read_) add(key, entry);
    const nlohmann::json document = {{"format", kCacheFormat}, {"queues", std::move(queues)}};
    std::error_code ec;
    fs::create_directories(cacheFile_->parent_path(), ec);
    platform::replaceFileAtomically(*cacheFile_, document.dump() + "\n", 0600);
  } catch (const std::exception&) {
    // No cache written: the next listing fetches the PPDs again.
  }
}

std::optional<fs::path> QueueBundles::forQueue(const QueueInfo& queue, std::string* error) {
  const std::string key = keyOf(queue);
  const auto known = read_.find(key);
  if (queue.configChanged > 0 && known != read_.end() &&
      known->second.changed == queue.configChanged) {
    used_[key] = known->second;
    return bundleForKeywords(known->second.keywords, bundleDir_, error);
  }
  ++fetched_;
  auto ppd = fetchQueuePPD(queue.name, error);
  if (!ppd) return std::nullopt;
  std::string reason;
  const auto keywords =
      platform::scanPPDKeywords(ppd->path().string(), kBundleChoiceKeywords, &reason);
  if (!keywords) return bundleForPPD(ppd->path(), bundleDir_, error);  // its error, in its words
  // A change within the second the PPD was fetched in would leave the
  // change time as it is: such an entry is not kept.
  if (queue.configChanged > 0 && queue.configChanged < static_cast<long long>(std::time(nullptr))) {
    used_[key] = Entry{queue.configChanged, *keywords};
    changed_ = true;
  }
  return bundleForKeywords(*keywords, bundleDir_, error);
}

}  // namespace jobwick::host
