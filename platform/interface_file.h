// SPDX-License-Identifier: Apache-2.0
// Interface files: the panel's controls described as JSON (resource type
// "jwui"; the format is described in platform/INTERFACE_FILES.md). Loading
// happens in two steps: the whole file is read and every control built
// first, and only when all of it is well formed are the views handed to the
// owner and the outlets and actions connected. A malformed file therefore
// connects nothing.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "platform/image.h"
#include "platform/object.h"

namespace platform {

/// Finds an image that an interface file names ("image", "alternateImage",
/// pop-up items). Answers null when there is no such image. Names of the
/// form "icon:CODE" (a four-character type code) never reach the resolver:
/// they are the system's icons.
using InterfaceImageResolver = std::function<std::shared_ptr<Image>(std::string_view name)>;

/// What an interface file holds once built, before it is connected.
struct InterfaceFile {
  /// The top-level views, in file order.
  std::vector<std::shared_ptr<View>> topLevelViews;
  /// Outlet name -> object (a view or a matrix cell), in file order. The
  /// objects belong to the top-level views.
  std::vector<std::pair<std::string, Object*>> outlets;
  /// The controls that name an action (the selector is already set on them;
  /// connecting gives them their target).
  std::vector<Control*> actionControls;

  /// The object of outlet `name`, or null.
  Object* outlet(std::string_view name) const;
};

/// Parses and builds interface-file text. `sourceName` starts every error
/// message. Answers nullopt when the text is malformed, with `error` saying
/// where: "line L, column C" for bad JSON, the path of the offending object
/// ("objects[0].subviews[2].tag") otherwise.
std::optional<InterfaceFile> parseInterfaceText(std::string_view text,
                                                const InterfaceImageResolver& images,
                                                std::string* error,
                                                std::string_view sourceName = "interface file");

/// Connects a built interface file to `owner`: hands it the top-level views
/// (adoptTopLevelObject), sets every outlet (setOutletForKey) and makes the
/// owner the target of every action. Outlets that the owner refuses are
/// skipped and named in `warnings` (empty when all were taken). Answers
/// whether every outlet was taken.
bool connectInterface(const InterfaceFile& file, Object* owner, std::string* warnings = nullptr);

/// Parses, builds and (with a non-null owner) connects interface-file text.
/// Answers false when the text is malformed; then nothing is connected and
/// `error` says why. A null owner only checks the file. On success `error`
/// is cleared, or lists the outlets the owner refused.
bool loadInterfaceText(std::string_view text, Object* owner, const InterfaceImageResolver& images,
                       std::string* error, std::string_view sourceName = "interface file");

/// loadInterfaceText on the contents of the file at `path`; false (with
/// `error`) when the file cannot be read.
bool loadInterfaceFile(const std::filesystem::path& path, Object* owner,
                       const InterfaceImageResolver& images, std::string* error);

}  // namespace platform
