// SPDX-License-Identifier: Apache-2.0
// The user events of a dialog session, taken on the GTK widgets of a panel
// view rather than on the controls: each event goes through the widget, as a
// person's would. Subclasses own when the view is made and dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "gtk/panel_view.h"
#include "host/engine/session.h"

namespace jobwick::gtkui {

class WidgetSessionInput : public host::SessionInput {
 public:
  host::EventOutcome click(const host::ControlRef& control) override {
    return view_->click(control);
  }
  host::EventOutcome type(const host::ControlRef& control, std::string_view text,
                          platform::Window*) override {
    return view_->type(control, text);
  }
  host::EventOutcome paste(const host::ControlRef& control, std::string_view text,
                           platform::Window*) override {
    return view_->paste(control, text);
  }
  host::EventOutcome clear(const host::ControlRef& control, platform::Window*) override {
    return view_->clear(control);
  }
  host::EventOutcome erase(const host::ControlRef& control, std::size_t count,
                           platform::Window*) override {
    return view_->erase(control, count);
  }
  host::EventOutcome choose(const host::ControlRef& control, std::optional<std::int64_t> index,
                            const std::optional<std::string>& title) override {
    return view_->choose(control, index, title);
  }

 protected:
  /// The view the events go to; set while a panel is shown.
  std::unique_ptr<PanelView> view_;
};

}  // namespace jobwick::gtkui
