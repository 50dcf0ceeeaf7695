// jobwick print and jobwick queues: jobs through CUPS carrying the panel's
// job ticket.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <cups/cups.h>
#include <nlohmann/json.hpp>

#include "host/commands.h"
#include "host/cups_queue.h"
#include "host/plugin_loader.h"
#include "host/print_job.h"
#include "platform/c_handles.h"
#include "platform/user_defaults.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTicketPrefix = "jp.co.quivo.print.";

using platform::IppMessage;

struct OptionsDeleter {
  int count = 0;
  void operator()(cups_option_t* options) const noexcept { cupsFreeOptions(count, options); }
};

int usage(std::ostream& err, const std::string& message) {
  err << "jobwick: print: " << message << "\nRun 'jobwick print --help' for usage.\n";
  return kExitUsage;
}

/// The document's bytes: FILE, or standard input for "-".
std::optional<std::string> readDocument(const std::string& file, std::string* error) {
  std::ostringstream bytes;
  if (file == "-") {
    bytes << std::cin.rdbuf();
    if (std::cin.bad()) *error = "standard input: cannot be read";
    return std::cin.bad() ? std::nullopt : std::optional(bytes.str());
  }
  std::error_code ec;
  std::ifstream in(file, std::ios::binary);
  if (!in || fs::is_directory(file, ec)) {
    *error = file + ": cannot be read (" +
             (fs::exists(file, ec) ? "not a readable file" : std::string("no such file")) + ")";
    return std::nullopt;
  }
  bytes << in.rdbuf();
  if (in.bad()) {
    *error = file + ": read error";
    return std::nullopt;
  }
  return bytes.str();
}

/// The printer options of --option KEY=VALUE; false (with `error`) for a
/// malformed one or one that would replace a ticket entry.
bool printerOptionsFrom(const ParsedArgs& args, JobRequest* job, std::string* error) {
  for (const auto& entry : args.values("--option")) {
    const auto equals = entry.find('=');
    if (equals == std::string::npos || equals == 0) {
      *error = "option --option needs KEY=VALUE, got \"" + entry + "\"";
      return false;
    }
    std::string key = entry.substr(0, equals);
    if (key.rfind(kTicketPrefix, 0) == 0) {
      *error = "--option " + key +
               ": job-ticket entries come from the panel (--session, "
               "--settings, --set)";
      return false;
    }
    job->printerOptions.emplace_back(std::move(key), entry.substr(equals + 1));
  }
  return true;
}

/// The job's request from the command line and the panel's settings.
std::optional<JobRequest> jobFrom(const ParsedArgs& args, const platform::PrintSettings& settings,
                                  std::string* error) {
  JobRequest job;
  job.queue = *args.value("--printer");
  const std::string file = args.positionals.front();
  job.documentName = file == "-" ? "(stdin)" : fs::path(file).filename().string();
  job.jobName = settings.jobName().value_or(job.documentName);
  if (auto copies = args.value("--copies")) {
    char* end = nullptr;
    const long n = std::strtol(copies->c_str(), &end, 10);
    if (copies->empty() || *end != '\0' || n < 1 || n > 9999) {
      *error = "option --copies needs a number from 1 to 9999, got \"" + *copies + "\"";
      return std::nullopt;
    }
    job.copies = int(n);
  }
  if (!printerOptionsFrom(args, &job, error)) return std::nullopt;
  for (const auto& [key, value] : settings.entries()) job.exactOptions.emplace_back(key, value);
  return job;
}

/// What --dry-run shows: option lines that 'ticket show -' reads.
void showDryRun(std::ostream& out, const QueueTarget& target, const JobRequest& job) {
  out << "# jobwick print --dry-run: nothing sent to queue " << job.queue << " (bundle "
      << target.bundle.filename().string() << ")\n"
      << "# job-name: " << job.jobName << "\n";
  if (job.copies) out << "# copies: " << *job.copies << "\n";
  for (const auto& [key, value] : job.printerOptions) out << "# -o " << key << "=" << value << "\n";
  for (const auto& [key, value] : job.exactOptions) out << key << "=" << value << "\n";
}

/// The panel's refusal, one line per alert it showed.
int refused(std::ostream& err, const PanelVerdict& verdict, const std::string& queue) {
  err << "jobwick: print: the panel refused to print on " << queue << "; nothing was submitted\n";
  for (const auto& alert : verdict.alerts) {
    std::string message = alert.message;
    for (auto at = message.find('\n'); at != std::string::npos; at = message.find('\n', at))
      message.replace(at, 1, " / ");
    err << "jobwick: print: " << (alert.title.empty() ? "" : alert.title + ": ") << message << "\n";
  }
  return kExitProblems;
}

}  // namespace

ParsedArgs dialogArgsFor(const ParsedArgs& args, const QueueTarget& target) {
  ParsedArgs dialog;
  dialog.options["--bundle"] = {target.bundle.string()};
  dialog.options["--ppd"] = {target.ppd->path().string()};
  dialog.options["--printer-id"] = {target.queue.name};
  if (!target.queue.deviceURI.empty()) dialog.options["--device-uri"] = {target.queue.deviceURI};
  for (const char* name : {"--settings", "--set", "--language", "--var", "--save-settings"}) {
    if (args.has(name)) dialog.options[name] = args.values(name);
  }
  // The remembered entries are the user's own, kept per queue.
  if (auto folder = args.value("--prefs-dir")) {
    dialog.options["--prefs-dir"] = {*folder};
  } else if (const char* env = std::getenv("JOBWICK_PREFS_DIR"); env && *env) {
    dialog.options["--prefs-dir"] = {env};
  } else if (auto standard = platform::UserDefaults::preferencesFolder()) {
    dialog.options["--prefs-dir"] = {standard->string()};
  }
  return dialog;
}

std::optional<int> submitJob(const JobRequest& job, std::string* error) {
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", job.queue.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, job.jobName.c_str());
  cups_option_t* options = nullptr;
  int count = 0;
  for (const auto& [key, value] : job.printerOptions)
    count = cupsAddOption(key.c_str(), value.c_str(), count, &options);
  std::unique_ptr<cups_option_t, OptionsDeleter> owned(options, OptionsDeleter{count});
  cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
  if (job.copies) ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", *job.copies);
  // The ticket's values go as they stand: lp's encoding would turn "007"
  // into the number 7 and split values at commas.
  for (const auto& [key, value] : job.exactOptions)
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, key.c_str(), nullptr, value.c_str());

  const std::string resource = "/printers/" + job.queue;
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource.c_str()));
  auto fail = [&](const std::string& what) -> std::optional<int> {
    *error = "queue " + job.queue + ": " + what + ": " + lastSchedulerReason();
    return std::nullopt;
  };
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) return fail("job refused");
  ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  if (!id) return fail("the scheduler gave no job id");
  const int jobId = ippGetInteger(id, 0);

  bool sent =
      cupsStartDocument(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, job.documentName.c_str(),
                        CUPS_FORMAT_AUTO, 1) == HTTP_STATUS_CONTINUE;
  sent =
      sent && (job.data.empty() || cupsWriteRequestData(CUPS_HTTP_DEFAULT, job.data.data(),
                                                        job.data.size()) == HTTP_STATUS_CONTINUE);
  const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, job.queue.c_str());
  if (sent && finished <= IPP_STATUS_OK_CONFLICTING) return jobId;
  std::string reason = lastSchedulerReason();
  cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, 1);
  *error = "queue " + job.queue + ": the document was not taken (job " + std::to_string(jobId) +
           " cancelled): " + reason;
  return std::nullopt;
}

int runPrint(const Invocation& invocation) {
  const ParsedArgs& args = invocation.args;
  std::ostream& err = invocation.err;
  if (!args.value("--printer")) return usage(err, "option --printer QUEUE is required");
  if (args.has("--session") && args.has("--settings"))
    return usage(err, "give --session or --settings, not both");
  std::string error;
  auto document = readDocument(args.positionals.front(), &error);
  if (!document) {
    err << "jobwick: print: " << error << "\n";
    return kExitFailure;
  }
  auto target = resolveQueue(*args.value("--printer"), defaultBundleDir(), &error);
  if (!target) {
    err << "jobwick: print: " << error << "\n";
    return kExitFailure;
  }
  PanelVerdict verdict =
      runPanelForPrint(args.value("--session").value_or(""), dialogArgsFor(args, *target), err);
  if (verdict.status != kExitSuccess) {
    err << "jobwick: print: the panel for queue " << target->queue.name
        << " could not run; nothing was submitted\n";
    return verdict.status;
  }
  if (!verdict.shouldPrint) return refused(err, verdict, target->queue.name);
  auto job = jobFrom(args, verdict.settings, &error);
  if (!job) return usage(err, error);
  job->data = std::move(*document);
  if (args.has("--dry-run")) {
    showDryRun(invocation.out, *target, *job);
    return kExitSuccess;
  }
  auto jobId = submitJob(*job, &error);
  if (!jobId) {
    err << "jobwick: print: " << error << "\n";
    return kExitFailure;
  }
  invocation.out << job->queue << "-" << *jobId << "\n";
  return kExitSuccess;
}

int runQueues(const Invocation& invocation) {
  std::string error;
  auto queues = listQueues(&error);
  if (!queues) {
    invocation.err << "jobwick: queues: " << error << "\n";
    return kExitFailure;
  }
  const fs::path bundles = defaultBundleDir();
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& queue : *queues) {
    std::string why;
    std::optional<fs::path> bundle;
    if (auto ppd = fetchQueuePPD(queue.name, &why))
      bundle = bundleForPPD(ppd->path(), bundles, &why);
    if (invocation.args.has("--json")) {
      list.push_back(
          {{"queue", queue.name},
           {"deviceURI", queue.deviceURI},
           {"makeAndModel", queue.makeAndModel},
           {"bundle", bundle ? nlohmann::ordered_json(bundle->string()) : nlohmann::ordered_json()},
           {"problem", bundle ? nlohmann::ordered_json() : nlohmann::ordered_json(why)}});
    } else {
      invocation.out << queue.name << "  "
                     << (bundle ? bundle->filename().string() : "no bundle: " + why) << "\n";
    }
  }
  if (invocation.args.has("--json")) invocation.out << list.dump(2) << "\n";
  if (queues->empty() && !invocation.args.has("--json"))
    invocation.out << "(no queues on the CUPS scheduler at " << schedulerName() << ")\n";
  return kExitSuccess;
}

}  // namespace jobwick::host
