// Placeholder bodies of the folder fetch and menu until they are built.
#include "pde/JC.h"

void JC::getFolderNameButtonProc(platform::Object*) {}
void JC::recieveEndCallback() {}
bool JC::parseXML(const std::string&) { return false; }
