// SPDX-License-Identifier: Apache-2.0
#include "pde/models/profile.h"

namespace jobwick {

const ModelProfile kModelProfile = {
    .model = "vk7300",
    .classPrefix = "JpCoQuivoPrintPdeVk7300",
    .hiliteSelector = "myVk7300JCHilite:",
    .panelNameKey = "Job Handling",
    .panelKind = "jp.co.quivo.print.pde.vk7300.JobwickKind",
    .preferenceRecordKey = "Job Handling",
    .requestResource = "listfiles2",
    .fetchFailedMessageKey = "Could not retrieve Folder Names.%@",
    .interfaceFiles = {{4, "Jobwick4"}, {5, "Jobwick5"}},
    .interfaceFileCount = 2,
    .readsPPDModelFlags = true,
    .hasHardDisk = true,
    .passwordMax = 0,
    .hasUserNumberStaticText = true,
    .ticketTextBuffer = 1530,
    .ticketCipherBuffer = 1550,
    .jobNameLimit = 80,
    .writesUtf8Variants = true,
    .reusesSpoolTime = true,
    .strictAboutMissingControls = false,
    .checksAuthenticationAtPrint = true,
    .summaryHonoursActiveDirectory = true,
};

}  // namespace jobwick
