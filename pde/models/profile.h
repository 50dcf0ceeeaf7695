// SPDX-License-Identifier: Apache-2.0
// The model profile: every difference between the vk7300 and the vk410e
// build, as data. Shared code asks the profile (and the controller's model
// queries) instead of testing which build it is.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jobwick {

struct InterfaceFileChoice {
  std::int64_t mode;
  const char* file;
};

struct ModelProfile {
  const char* model;           ///< "vk7300" or "vk410e"
  const char* classPrefix;     ///< prefix of every class name of the build
  const char* hiliteSelector;  ///< name of the highlighting method of text fields
  const char* panelNameKey;    ///< localisation key of the panel name
  const char* panelKind;
  const char* preferenceRecordKey;    ///< key of the preference record in the domain
  const char* requestResource;        ///< folder-list request, type "xml"
  const char* fetchFailedMessageKey;  ///< alert text of a failed folder fetch

  /// Interface modes and files: mode 4/5 (vk7300) or 1 (vk410e).
  InterfaceFileChoice interfaceFiles[2];
  std::size_t interfaceFileCount;
  /// Reads ARDocumentFiling, ARQuivoPrintSystem, ARActiveDirectory; the
  /// interface mode then follows active_directory.
  bool readsPPDModelFlags;
  /// The model has the hard disk that document filing needs.
  bool hasHardDisk;
  /// Longest numeric code the model takes; 0 when the model has no such
  /// query (the construction code then uses its own digit limits).
  std::int64_t passwordMax;
  /// The interface files declare userNumberStaticText.
  bool hasUserNumberStaticText;

  // Job ticket.
  std::size_t ticketTextBuffer;    ///< bytes of one field's text buffer
  std::size_t ticketCipherBuffer;  ///< bytes of the cipher output buffer
  std::size_t jobNameLimit;        ///< characters/bytes of jobName, jobName2
  bool writesUtf8Variants;         ///< folderPath3, loginName2, password3, userName3, jobName3
  bool reusesSpoolTime;            ///< an existing spoolTime is kept (else renewed per save)
  /// Entries of a control missing from the interface file are removed, and
  /// the reader skips steps whose controls are missing.
  bool strictAboutMissingControls;

  // Print time and summary.
  bool checksAuthenticationAtPrint;  ///< when quivo_print_system is set
  bool summaryHonoursActiveDirectory;
};

/// The profile of the build this code is compiled into.
extern const ModelProfile kModelProfile;

}  // namespace jobwick
