// SPDX-License-Identifier: Apache-2.0
// Normal and dimmed looks of the panel's text fields and labels. Input
// fields carry a non-zero tag in the interface files, labels tag 0; the tag
// alone tells them apart. The text itself is never changed.
#include "pde/JC.h"
#include "platform/controls.h"

void myJCHilite(platform::TextField* field, bool dimmed) {
  if (!field) return;
  if (field->tag() == 0) {
    // A label only changes colour and never touches the keyboard focus.
    field->setTextColor(dimmed ? platform::Color::Grey : platform::Color::Black);
    return;
  }
  platform::Window* window = field->window();
  if (dimmed) {
    field->setEditable(false);
    field->setSelectable(false);
    field->setTextColor(platform::Color::Grey);
    // A dimmed field must not keep (or leave anyone else holding) the focus.
    if (window) window->makeFirstResponder(nullptr);
  } else {
    field->setEditable(true);
    field->setSelectable(true);
    field->setTextColor(platform::Color::Black);
    if (window) window->makeFirstResponder(field);
  }
}
