// SPDX-License-Identifier: Apache-2.0
// A private CUPS scheduler for end-to-end tests: its own ServerRoot, spool,
// state and log folders under a test folder, listening on a free loopback
// port only, no browsing, no web interface, file: devices allowed. It runs
// in the foreground as a child of the test process, dies with that process
// (and after `lifetimeSeconds` in any case), and is stopped by its PID.
//
// Queues are made with lpadmin from a PPD and a file: device; a PPD can be
// given a recording filter that writes the options argument (argv[5]) of
// every job it filters to RECORDS/JOB-ID.options.
//
// Header-only so that any test binary can use it without a build change.
#pragma once

#include <cups/cups.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace jwtest {

/// How a private scheduler is set up.
struct CupsdOptions {
  /// The access rules CUPS ships (authentication by the shipped policy,
  /// administration for root alone) and a local socket, folder()/cups.sock,
  /// besides the loopback port; else every operation is open to all.
  bool shippedPolicy = false;
  /// The scheduler's model folder (the drivers `lpinfo -m` lists): its
  /// DataDir is then a folder of links to the system's /usr/share/cups with
  /// this folder as model/, and no driver programs run.
  std::optional<std::filesystem::path> modelFolder;
};

class PrivateCupsd {
 public:
  static constexpr const char* kRecorderFilter = "jobwick-record";

  /// True when cupsd and lpadmin are installed (tests skip otherwise).
  static bool available() {
    return std::filesystem::exists("/usr/sbin/cupsd") &&
           std::filesystem::exists("/usr/sbin/lpadmin");
  }

  using Options = CupsdOptions;

  /// Starts a scheduler with its files in `folder` (made if missing).
  /// Answers null when it does not come up; `error` then says why, with the
  /// end of its error log.
  static std::unique_ptr<PrivateCupsd> start(const std::filesystem::path& folder,
                                             std::string* error, int lifetimeSeconds = 600,
                                             CupsdOptions options = CupsdOptions()) {
    std::unique_ptr<PrivateCupsd> cupsd(new PrivateCupsd(folder));
    cupsd->options_ = options;
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (cupsd->launch(lifetimeSeconds) && cupsd->waitUntilUp()) return cupsd;
      cupsd->stop();
    }
    if (error) *error = "private cupsd did not start: " + cupsd->logTail();
    return nullptr;
  }

  ~PrivateCupsd() { stop(); }
  PrivateCupsd(const PrivateCupsd&) = delete;
  PrivateCupsd& operator=(const PrivateCupsd&) = delete;

  /// "127.0.0.1:PORT", the value of CUPS_SERVER for clients.
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
  /// The local socket (Options::shippedPolicy), a value of CUPS_SERVER too.
  std::filesystem::path socket() const { return folder_ / "cups.sock"; }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  const std::filesystem::path& folder() const { return folder_; }
  /// Where the recording filter writes JOB-ID.options.
  std::filesystem::path records() const { return folder_ / "records"; }
  /// The file a queue's file: device writes.
  std::filesystem::path outputOf(const std::string& queue) const {
    return folder_ / "out" / (queue + ".prn");
  }

  /// Makes an enabled queue `name` for `ppd` with a file: device. Answers
  /// false with lpadmin's output in `error` when it fails.
  bool addQueue(const std::string& name, const std::filesystem::path& ppd, std::string* error) {
    const std::string command = "lpadmin -p '" + name + "' -E -v 'file://" +
                                outputOf(name).string() + "' -P '" + ppd.string() + "'";
    return run(command, error) && run("cupsenable '" + name + "'", error) &&
           run("cupsaccept '" + name + "'", error);
  }

  /// Runs a shell command with CUPS_SERVER naming this scheduler (and HOME
  /// and CUPS_SERVERROOT in its folder, so that lpoptions writes there, even
  /// as root); answers
  /// false with its output in `error` when it exits non-zero.
  bool run(const std::string& command, std::string* error = nullptr) const {
    const auto log = folder_ / "command.log";
    // Under the shipped rules only a local root administers, over the socket.
    const std::string client = options_.shippedPolicy ? socket().string() : server();
    const std::string line = "HOME='" + folder_.string() + "' CUPS_SERVERROOT='" +
                             folder_.string() + "/etc' " + "CUPS_SERVER='" + client + "' " +
                             command + " >'" + log.string() + "' 2>&1";
    const int status = std::system(line.c_str());
    if (status == 0) return true;
    if (error) *error = command + ": " + read(log);
    return false;
  }

  /// The options the recording filter got for job `id`, parsed as the
  /// driver's filter parses them; waits (bounded) for the filter to run.
  std::map<std::string, std::string> recordedOptions(const std::string& id) const {
    const std::filesystem::path record = records() / (id + ".options");
    for (int i = 0; i < 500 && !std::filesystem::exists(record); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(read(record).c_str(), 0, &options);
    std::map<std::string, std::string> parsed;
    for (int i = 0; i < count; ++i) parsed[options[i].name] = options[i].value;
    cupsFreeOptions(count, options);
    return parsed;
  }

  /// A copy of `ppd` written to `copy` with a filter line that runs the
  /// recording filter on every PostScript job.
  static std::filesystem::path withRecorder(const std::filesystem::path& ppd,
                                            const std::filesystem::path& copy) {
    std::string text = read(ppd);
    text += "\n*cupsFilter2: \"application/vnd.cups-postscript application/vnd.cups-postscript 0 " +
            std::string(kRecorderFilter) + "\"\n";
    std::ofstream(copy, std::ios::binary) << text;
    return copy;
  }

  /// Stops the scheduler (SIGTERM to its PID, then SIGKILL) and reaps it.
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  static std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  explicit PrivateCupsd(std::filesystem::path folder) : folder_(std::move(folder)) {
    namespace fs = std::filesystem;
    for (const char* sub :
         {"etc/ppd", "spool/tmp", "cache", "state", "log", "out", "records", "bin/filter"}) {
      fs::create_directories(folder_ / sub);
    }
    // Filters run as the scheduler's user "lp" when it runs as root: the
    // folders they and the file: devices write are open to it.
    for (const char* open : {"", "out", "records", "spool", "spool/tmp"}) {
      ::chmod((folder_ / open).c_str(), open[0] == '\0' ? 0755 : 01777);
    }
    ::chmod(folder_.parent_path().c_str(), 0755);
    makeServerBin();
  }

  /// A ServerBin of the system's programs plus the recording filter.
  void makeServerBin() {
    namespace fs = std::filesystem;
    const fs::path system = "/usr/lib/cups";
    std::error_code ec;
    for (const char* sub : {"backend", "cgi-bin", "daemon", "driver", "monitor", "notifier"}) {
      fs::create_directory_symlink(system / sub, folder_ / "bin" / sub, ec);
    }
    for (const auto& entry : fs::directory_iterator(system / "filter", ec)) {
      fs::create_symlink(entry.path(), folder_ / "bin/filter" / entry.path().filename(), ec);
    }
    const fs::path recorder = folder_ / "bin/filter" / kRecorderFilter;
    std::ofstream(recorder) << "#!/bin/sh\n"
                            << "printf '%s' \"$5\" > \"" << records().string() << "/$1.options\"\n"
                            << "exec cat ${6:+\"$6\"}\n";
    ::chmod(recorder.c_str(), 0755);
  }

  static int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
  }

  /// The shipped policy's job and administration rules.
  static const char* shippedPolicy() {
    return "<Policy default>\n"
           "  JobPrivateAccess default\n  JobPrivateValues default\n"
           "  SubscriptionPrivateAccess default\n  SubscriptionPrivateValues default\n"
           "  <Limit Create-Job Print-Job Print-URI Validate-Job>\n    Order deny,allow\n"
           "  </Limit>\n"
           "  <Limit Send-Document Send-URI Hold-Job Release-Job Restart-Job Purge-Jobs "
           "Set-Job-Attributes Create-Job-Subscription Renew-Subscription Cancel-Subscription "
           "Get-Notifications Reprocess-Job Cancel-Current-Job Suspend-Current-Job Resume-Job "
           "Cancel-My-Jobs Close-Job CUPS-Move-Job>\n"
           "    Require user @OWNER @SYSTEM\n    Order deny,allow\n  </Limit>\n"
           "  <Limit CUPS-Get-Document>\n    AuthType Default\n"
           "    Require user @OWNER @SYSTEM\n    Order deny,allow\n  </Limit>\n"
           "  <Limit CUPS-Add-Modify-Printer CUPS-Delete-Printer CUPS-Add-Modify-Class "
           "CUPS-Delete-Class CUPS-Set-Default CUPS-Get-Devices>\n    AuthType Default\n"
           "    Require user @SYSTEM\n    Order deny,allow\n  </Limit>\n"
           "  <Limit Pause-Printer Resume-Printer Enable-Printer Disable-Printer "
           "Pause-Printer-After-Current-Job Hold-New-Jobs Release-Held-New-Jobs "
           "Deactivate-Printer Activate-Printer Restart-Printer Shutdown-Printer "
           "Startup-Printer Promote-Job Schedule-Job-After Cancel-Jobs CUPS-Accept-Jobs "
           "CUPS-Reject-Jobs>\n    AuthType Default\n    Require user @SYSTEM\n"
           "    Order deny,allow\n  </Limit>\n"
           "  <Limit Cancel-Job CUPS-Authenticate-Job>\n    Require user @OWNER @SYSTEM\n"
           "    Order deny,allow\n  </Limit>\n"
           "  <Limit All>\n    Order deny,allow\n  </Limit>\n"
           "</Policy>\n";
  }

  void writeConfiguration() {
    const std::string f = folder_.string();
    std::ofstream conf(folder_ / "etc/cupsd.conf");
    conf << "Listen 127.0.0.1:" << port_ << "\n";
    if (options_.shippedPolicy) conf << "Listen " << socket().string() << "\n";
    conf << "Browsing No\nWebInterface No\nMaxJobs 0\nPreserveJobHistory Yes\n"
         << "PreserveJobFiles No\n"
         // Documents over a MiB are refused, as a scheduler set up so does.
         << "LimitRequestBody 1048576\n"
         << "<Location />\n  Order allow,deny\n  Allow 127.0.0.1\n</Location>\n";
    if (options_.shippedPolicy) {
      conf << "DefaultAuthType Basic\nLogLevel warn\n"
           << "<Location /admin/conf>\n  AuthType Default\n  Require user @SYSTEM\n"
           << "  Order allow,deny\n  Allow 127.0.0.1\n</Location>\n"
           << shippedPolicy();
    } else {
      conf << "DefaultAuthType None\nLogLevel debug\n"
           << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
           << "</Policy>\n";
    }
    std::ofstream(folder_ / "etc/cups-files.conf")
        << "ServerRoot " << f << "/etc\nServerBin " << f << "/bin\n"
        << "RequestRoot " << f << "/spool\nTempDir " << f << "/spool/tmp\n"
        << "CacheDir " << f << "/cache\nStateDir " << f << "/state\n"
        << "AccessLog " << f << "/log/access_log\nErrorLog " << f << "/log/error_log\n"
        << "PageLog " << f << "/log/page_log\nPrintcap " << f << "/printcap\n"
        << "FileDevice Yes\nSandboxing Relaxed\nSystemGroup root\n"
        << (options_.modelFolder ? "DataDir " + f + "/data\n" : "");
    if (options_.modelFolder) makeDataDir(*options_.modelFolder);
  }

  /// A DataDir of the system's scheduler data with `model` as its model
  /// folder. Left out, so that listing the drivers takes a fraction of a
  /// second: the sample driver sources (drv/, thousands of generic printers
  /// compiled on the first listing) and the driver programs of ServerBin
  /// (which may look for printers on the network).
  void makeDataDir(const std::filesystem::path& model) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder_ / "data", ec);
    for (const auto& entry : fs::directory_iterator("/usr/share/cups", ec)) {
      const fs::path name = entry.path().filename();
      if (name == "model" || name == "drv") continue;
      fs::create_symlink(entry.path(), folder_ / "data" / name, ec);
    }
    fs::create_directory_symlink(model, folder_ / "data/model", ec);
    fs::remove(folder_ / "bin/driver", ec);
    fs::create_directory(folder_ / "bin/driver", ec);
  }

  bool launch(int lifetimeSeconds) {
    port_ = freePort();
    if (port_ == 0) return false;
    writeConfiguration();
    const std::string etc = (folder_ / "etc").string();
    const std::string lifetime = std::to_string(lifetimeSeconds);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      // The scheduler goes when the test process goes, however it ends,
      // and after its lifetime in any case.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(126);
      ::execlp("timeout", "timeout", "-k", "5", lifetime.c_str(), "/usr/sbin/cupsd", "-f", "-c",
               (etc + "/cupsd.conf").c_str(), "-s", (etc + "/cups-files.conf").c_str(), nullptr);
      ::_exit(127);
    }
    return true;
  }

  bool waitUntilUp() {
    for (int i = 0; i < 250; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(port_));
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      ::close(fd);
      if (up) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return false;
  }

  std::string logTail() const {
    std::string log = read(folder_ / "log/error_log");
    return log.size() > 2000 ? log.substr(log.size() - 2000) : log;
  }

  std::filesystem::path folder_;
  Options options_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace jwtest
