// Placeholder bodies of the preference operations until the store is built.
#include "pde/JC.h"

void JC::CheckPreference() {}
void JC::GetUserPreference() {}
bool JC::SaveUserPreference() { return false; }
void JC::GetFolderPreference() {}
bool JC::SaveFolderPreference() { return false; }
