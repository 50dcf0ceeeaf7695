// SPDX-License-Identifier: Apache-2.0
// Fuzz entry for the interface-file loader: parse, build and connect
// arbitrary text.
#include <string_view>

#include "fuzz/entries/fuzz_entries.h"
#include "platform/interface_file.h"
#include "platform/object.h"

namespace jobwick::fuzz {
namespace {

// An owner that takes every outlet and action, so that connecting runs in
// full.
class Owner : public platform::Object {
 public:
  bool respondsToSelector(std::string_view) const override { return true; }
  bool performAction(std::string_view, platform::Object*) override { return true; }
  bool setOutletForKey(std::string_view, platform::Object*) override { return true; }
};

}  // namespace

// Input: the text of an interface file. loadInterfaceText parses and
// builds it (parseInterfaceText) and connects what it built, so one call
// covers both steps; parsing the text a second time on its own found
// nothing more and halved the inputs per second. Nothing carries over
// between inputs: the owner and the built views are made for each one.
int interfaceFile(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const platform::InterfaceImageResolver images = [](std::string_view) {
    return std::shared_ptr<platform::Image>();
  };
  std::string error;
  Owner owner;
  platform::loadInterfaceText(text, &owner, images, &error);
  return 0;
}

}  // namespace jobwick::fuzz
