// SPDX-License-Identifier: Apache-2.0
// Root object of the platform: the stand-in for the dynamic messaging that
// the print dialog relies on (outlets connected by name, actions sent by
// selector name, capability tests).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;

  /// Whether the object implements the operation named by `selector`
  /// (for example "willChangePPDOptionKeyValue:ppdChoice:"). Default: no.
  virtual bool respondsToSelector(std::string_view selector) const { return false; }

  /// Sends the one-argument action `selector` with `sender`. Answers false
  /// (and does nothing) when the object has no such action.
  virtual bool performAction(std::string_view selector, Object* sender) { return false; }

  /// Connects the outlet `key` to `value` (not owned). Answers false when
  /// the object has no outlet of that name or the value is of the wrong kind.
  virtual bool setOutletForKey(std::string_view key, Object* value) { return false; }

  /// Takes ownership of an object loaded from an interface file whose owner
  /// this object is (the top-level views). Kept until the owner dies.
  void adoptTopLevelObject(std::shared_ptr<Object> object) {
    topLevelObjects_.push_back(std::move(object));
  }
  const std::vector<std::shared_ptr<Object>>& topLevelObjects() const { return topLevelObjects_; }

 private:
  std::vector<std::shared_ptr<Object>> topLevelObjects_;
};

}  // namespace platform
