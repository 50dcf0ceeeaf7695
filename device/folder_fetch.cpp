// SPDX-License-Identifier: Apache-2.0
// The folder-list fetch: the folder-list button asks the printer for its
// filing folders through the SOAP client, then the answer becomes the folder
// list, the cache and the folder menu.
//
// The answer's shape: the document element's last child (the SOAP body),
// and that child's last child (the answer element), which holds
// "result-code" (must read "ok" when present) and "files". Each child of
// "files" is one folder with "name", "password" and "dir" children; a flag
// is set only by the exact text "true". Names are compared exactly, so a
// prefixed "qv:files" is not "files".
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/soap_client.h"
#include "pde/JC.h"
#include "platform/alert.h"
#include "platform/trace.h"
#include "platform/xml.h"

using jobwick::kModelProfile;
using platform::_PDEEpilog;
using platform::_PDELog;
using platform::_PDEProlog;
using platform::XMLNode;

namespace {

constexpr const char* kServicePath = "/quivo-mfp-srv";

/// A folder entry from one child of "files"; nullopt when it names no
/// folder (no "name" child), which the menu could not show.
std::optional<FolderEntry> folderFromNode(const XMLNode& folder) {
  std::optional<std::string> name;
  bool password = false;
  bool dir = false;
  for (XMLNode child = folder.firstChild(); child; child = child.nextSibling()) {
    const std::string childName = child.name();
    if (childName == "name") {
      name = child.objectValue();
    } else if (childName == "password") {
      if (child.objectValue() == "true") password = true;
    } else if (childName == "dir") {
      if (child.objectValue() == "true") dir = true;
    }
  }
  if (!name) return std::nullopt;
  FolderEntry entry;
  entry["name"] = *name;
  entry["password"] = password;
  entry["dir"] = dir;
  entry["add"] = false;
  return entry;
}

void stopChasingArrow(platform::ProgressIndicator* arrow) {
  if (!arrow) return;
  arrow->stopAnimation();
  arrow->setHidden(true);
}

}  // namespace

void JC::getFolderNameButtonProc(platform::Object* /*sender*/) {
  _PDEProlog(this, "getFolderNameButtonProc:");
  if (!getFolderNameButton) {
    _PDEEpilog(this, "getFolderNameButtonProc:=void");
    return;
  }

  // Only an answer to this press is read: without a request (no address)
  // the response file may hold an earlier fetch's answer, maybe another
  // printer's, and that must not become this printer's list. The list
  // changes only by a good answer; every other outcome of a request keeps
  // it and says so once.
  if (printersAddressEditText && !printersAddressEditText->stringValue().empty()) {
    if (chasingArrow) {
      chasingArrow->startAnimation();
      chasingArrow->setHidden(false);
    }
    const std::string urlText = "http://" + printersAddressEditText->stringValue() + kServicePath;
    std::int32_t outcome = JCSOAPClient::kRunning;
    if (std::shared_ptr<JCSOAPClient> client = JCSOAPClient::initWithServerName(urlText, this)) {
      client->sendMessage(requestData);
      outcome = client->finished;
    }
    stopChasingArrow(chasingArrow);
    if (outcome == JCSOAPClient::kDone) {
      // The client removed the file before the request: what is there now
      // is this exchange's answer, or nothing when it could not be written.
      const std::optional<std::string> answer = JCSOAPClient::responseFilePath();
      if (!answer || !parseXML(*answer)) {
        exchangeFailedBecause(answer ? "the printer's answer is not a folder list"
                                     : "there is no temporary folder to keep the answer in");
        recieveEndCallback();
      }
    } else if (outcome == JCSOAPClient::kRunning) {
      // No request went out (no valid URL, no connection): the client had
      // nobody to tell.
      exchangeFailedBecause("no connection could be made to " +
                            printersAddressEditText->stringValue());
      recieveEndCallback();
    }
    // Timed out or failed: the client has called recieveEndCallback.
  }

  SaveFolderPreference();
  makeFolderPopup();
  _PDEEpilog(this, "getFolderNameButtonProc:=void");
}

void JC::recieveEndCallback() {
  _PDEProlog(this, "recieveEndCallback");
  const std::string format =
      pdeBundle ? pdeBundle->localizedStringForKey(kModelProfile.fetchFailedMessageKey)
                : std::string(kModelProfile.fetchFailedMessageKey);
  const std::string button = pdeBundle ? pdeBundle->localizedStringForKey("OK") : std::string("OK");
  stopChasingArrow(chasingArrow);

  // The message is a format with one object argument, the empty string.
  std::string message = format;
  if (const auto at = message.find("%@"); at != std::string::npos) message.erase(at, 2);
  platform::NSRunInformationalAlertPanel("", message, button, fetchFailureCause_);
  fetchFailureCause_.clear();
  _PDEEpilog(this, "recieveEndCallback=void");
}

void JC::exchangeFailedBecause(const std::string& cause) {
  fetchFailureCause_ = cause;
}

bool JC::parseXML(const std::string& answerFilePath) {
  _PDEProlog(this, "parseXML:");
  const auto document = platform::XMLDocument::initWithContentsOfFile(answerFilePath);
  if (!document) {
    // No answer on file, or not XML: the list stays as it was.
    _PDEEpilog(this, "parseXML:=BOOL(NO)");
    return false;
  }
  const XMLNode answer = document->rootElement().lastChild().lastChild();

  // A rejected or incomplete answer leaves the list as it was: it says
  // nothing about the printer's folders.
  const std::vector<XMLNode> answerChildren = answer.children();
  if (answerChildren.empty()) {
    _PDEEpilog(this, "parseXML:=BOOL(NO)");
    return false;
  }

  bool good = true;
  XMLNode files;
  for (const XMLNode& child : answerChildren) {
    const std::string name = child.name();
    if (name == "result-code") {
      good = child.objectValue() == "ok";
    } else if (name == "files") {
      files = child;
    }
  }
  if (!files || !good) {
    _PDEEpilog(this, "parseXML:=BOOL(NO)");
    return false;
  }

  // One walk over the folders, each taken as it is reached (childAtIndex
  // would walk the list from the start for each of them, and a list of
  // them first would visit every node of a large answer twice).
  FolderList found;
  std::size_t position = 0;
  for (XMLNode folder = files.firstChild(); folder; folder = folder.nextSibling(), ++position) {
    if (auto entry = folderFromNode(folder)) {
      found.push_back(std::move(*entry));
    } else {
      _PDELog(this, "parseXML: folder %zu has no name; left out", position);
    }
  }
  setFolderList(std::move(found));
  _PDEEpilog(this, "parseXML:=BOOL(YES)");
  return true;
}
