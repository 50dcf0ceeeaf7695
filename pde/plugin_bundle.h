// SPDX-License-Identifier: Apache-2.0
// The plug-in's own bundle: its resources, interface files and strings.
#pragma once

#include <memory>

#include "platform/bundle.h"

namespace jobwick {

/// The bundle whose shared object holds this code (or the override); null
/// when the code does not run from a bundle.
std::shared_ptr<platform::Bundle> pluginBundle();
/// Makes pluginBundle() answer `bundle` (null: back to the real lookup).
/// For code that is linked into a program rather than loaded as a bundle.
void setPluginBundleOverride(std::shared_ptr<platform::Bundle> bundle);

}  // namespace jobwick
