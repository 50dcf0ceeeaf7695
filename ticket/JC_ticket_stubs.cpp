// Placeholder bodies of the job-ticket operations until the writer and the
// reader are built; they change nothing.
#include "pde/JC.h"

void JC::writeNonPPDSettingsToPrintSettings() {}
void JC::getNonPPDSettingsFromPrintSettings() {}
