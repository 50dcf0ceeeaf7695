// SPDX-License-Identifier: Apache-2.0
#include "pde/models/profile.h"

namespace jobwick {

const ModelProfile kModelProfile = {
    .model = "vk410e",
    .classPrefix = "JpCoQuivoPrintPdeVk410e",
    .hiliteSelector = "myVk410eJCHilite:",
    .panelNameKey = "Jobwick",
    .panelKind = "jp.co.quivo.print.pde.vk410e.JobwickKind",
    .preferenceRecordKey = "Jobwick",
    .requestResource = "listfiles",
    .fetchFailedMessageKey = "Could not retrieve Folder Names.",
    .interfaceFiles = {{1, "Jobwick"}, {0, nullptr}},
    .interfaceFileCount = 1,
    .readsPPDModelFlags = false,
    .hasHardDisk = false,
    .passwordMax = 5,
    .hasUserNumberStaticText = false,
    .ticketTextBuffer = 256,
    .ticketCipherBuffer = 511,
    .jobNameLimit = 32,
    .writesUtf8Variants = false,
    .reusesSpoolTime = false,
    .strictAboutMissingControls = true,
    .checksAuthenticationAtPrint = false,
    .summaryHonoursActiveDirectory = false,
};

}  // namespace jobwick
