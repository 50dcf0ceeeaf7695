// SPDX-License-Identifier: Apache-2.0
// What makes the widgets read as one form: a row's label, field and lock
// button belong together (the label names the field for screen readers and
// gives it a mnemonic; the lock button is named and explained after the
// field it remembers), and every control has a name a screen reader reads.
#include <algorithm>
#include <cctype>

#include "gtk/panel_view.h"
#include "gtk/panel_view_binding.h"
#include "platform/bundle.h"

namespace jobwick::gtkui {

namespace {

/// The view's own words about a lock button, in the user's language. Each
/// takes the name of what the button remembers.
struct LockWords {
  const char* name;      // the button's accessible name
  const char* locked;    // its tooltip while locked
  const char* unlocked;  // and while not
  bool lowerCase;        // names are written in lower case inside a sentence
};

const LockWords& lockWords() {
  static const LockWords kEnglish{"Remember %s", "Locked: the %s is remembered for this printer",
                                  "Not locked: lock to remember the %s for this printer", true};
  static const LockWords kJapanese{"%sを記憶", "ロック中: このプリンターの%sを記憶しています",
                                   "ロックなし: ロックするとこのプリンターの%sを記憶します", false};
  const std::vector<std::string> languages = platform::preferredLanguages();
  const bool japanese = !languages.empty() && languages.front().rfind("ja", 0) == 0;
  return japanese ? kJapanese : kEnglish;
}

std::string format(const char* pattern, const std::string& name) {
  char* text = g_strdup_printf(pattern, name.c_str());
  std::string result(text);
  g_free(text);
  return result;
}

/// A label's text as a name: without the colon that ends it.
std::string nameFromLabel(std::string text) {
  for (const std::string& colon : {std::string(":"), std::string("\xEF\xBC\x9A")}) {
    if (text.size() >= colon.size() &&
        text.compare(text.size() - colon.size(), colon.size(), colon) == 0)
      text.erase(text.size() - colon.size());
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

/// The title of the control or matrix cell with this identifier below
/// `view`; "" when there is none.
std::string titleOf(const platform::View* view, const std::string& identifier) {
  if (!view || identifier.empty()) return "";
  if (auto* button = dynamic_cast<const platform::Button*>(view)) {
    if (button->identifier() == identifier) return button->title();
  }
  if (auto* matrix = dynamic_cast<const platform::Matrix*>(view)) {
    for (const auto& cell : matrix->cells())
      if (cell && cell->identifier() == identifier) return cell->title();
  }
  for (const auto& child : view->subviews()) {
    std::string title = titleOf(child.get(), identifier);
    if (!title.empty()) return title;
  }
  return "";
}

const platform::View* rootOf(const platform::View* view) {
  while (view && view->superview()) view = view->superview();
  return view;
}

void setAccessibleName(PanelView::Binding& b, GtkWidget* widget, const std::string& name) {
  if (name.empty() || name == b.accessibleName) return;
  b.accessibleName = name;
  gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                 name.c_str(), -1);
}

/// Names a widget of GTK's own making (which the view keeps no binding of)
/// once, or again when the name changes.
void nameInner(GtkWidget* widget, const std::string& name) {
  static constexpr char kNamed[] = "jobwick-accessible-name";
  const auto* named = static_cast<const char*>(g_object_get_data(G_OBJECT(widget), kNamed));
  if (name.empty() || (named && name == named)) return;
  g_object_set_data_full(G_OBJECT(widget), kNamed, g_strdup(name.c_str()), g_free);
  gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                 name.c_str(), -1);
}

/// The field is labelled by `label`: its name is the label's text. A
/// drop-down's button (GTK's own child, which takes the focus) is named too.
void relateLabel(PanelView::Binding& b, GtkWidget* label, const std::string& name) {
  if (b.kind == PanelView::Binding::Kind::Popup) {
    GtkWidget* button = gtk_widget_get_first_child(b.widget);
    if (button && GTK_IS_TOGGLE_BUTTON(button)) nameInner(button, name);
  }
  if (b.labelledBy == label) return;
  b.labelledBy = label;
  gtk_accessible_update_relation(GTK_ACCESSIBLE(b.widget), GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                 label, nullptr, -1);
}

}  // namespace

/// The parts of a row: its label (the first that says something), the field
/// it names and the lock button that remembers the field.
struct RowParts {
  PanelView::Binding* label = nullptr;
  PanelView::Binding* emptyLabel = nullptr;
  PanelView::Binding* field = nullptr;
  PanelView::Binding* lock = nullptr;
};

void PanelView::syncRow(Binding& row) {
  using Kind = Binding::Kind;
  RowParts parts;
  for (Binding* child : row.children) {
    if (!child) continue;
    if (child->kind == Kind::Label) {
      const auto* text = static_cast<platform::TextField*>(child->view);
      Binding*& slot = text->stringValue().empty() ? parts.emptyLabel : parts.label;
      if (!slot) slot = child;
    } else if ((child->kind == Kind::Entry || child->kind == Kind::Popup) && !parts.field) {
      parts.field = child;
    } else if (child->kind == Kind::Toggle && !parts.lock) {
      parts.lock = child;
    }
  }
  if (!parts.field) return;
  // The field's name: its label's text, else the title the interface file
  // names it by, shown as the caption in the labels' column.
  std::string name;
  GtkWidget* label = nullptr;
  if (parts.label) {
    name = nameFromLabel(static_cast<platform::TextField*>(parts.label->view)->stringValue());
    label = parts.label->widget;
  } else {
    name = titleOf(rootOf(parts.field->view), parts.field->view->labelledBy());
    label = name.empty() ? nullptr : row.caption;
  }
  const bool captioned = label && label == row.caption;
  if (captioned && name + ":" != gtk_label_get_text(GTK_LABEL(row.caption)))
    gtk_label_set_text(GTK_LABEL(row.caption), (name + ":").c_str());
  if (bool(gtk_widget_get_visible(row.caption)) != captioned)
    gtk_widget_set_visible(row.caption, captioned);
  if (parts.emptyLabel && captioned &&
      g_slist_find(gtk_size_group_get_widgets(labelColumn_.get()), parts.emptyLabel->widget)) {
    // An empty label of the panel's stands outside the labels' column.
    gtk_size_group_remove_widget(labelColumn_.get(), parts.emptyLabel->widget);
  }
  if (!label) return;
  relateLabel(*parts.field, label, name);
  syncLabelMnemonic(captioned ? row : *parts.label, parts.field->widget);
  if (!parts.lock) return;
  const LockWords& words = lockWords();
  std::string lowered = name;
  if (words.lowerCase) {
    char* down = g_utf8_strdown(name.c_str(), -1);
    lowered = down;
    g_free(down);
  }
  setAccessibleName(*parts.lock, parts.lock->widget, format(words.name, lowered));
  const auto* button = static_cast<platform::Button*>(parts.lock->view);
  if (!button->title().empty()) return;  // a titled button shows its title as its tooltip
  const std::string tip = format(button->state() ? words.locked : words.unlocked, lowered);
  // Only a changed tooltip is set (setting one asks the display where the
  // pointer is).
  if (g_strcmp0(gtk_widget_get_tooltip_text(parts.lock->widget), tip.c_str()) != 0)
    gtk_widget_set_tooltip_text(parts.lock->widget, tip.c_str());
}

void PanelView::syncLabelMnemonic(Binding& b, GtkWidget* target) {
  // `b` is a label of the panel's, or a row whose caption is shown.
  GtkLabel* label = GTK_LABEL(b.caption ? b.caption : b.widget);
  const std::string text = gtk_label_get_text(label);
  auto [at, isNew] = mnemonics_.try_emplace(b.view, '\0');
  char& key = at->second;
  auto position = [&text](char wanted) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(text[i])) == wanted) return i;
    return std::string::npos;
  };
  if (key == '\0' || position(key) == std::string::npos) {
    // The first letter of the text no other label uses (nor the dialog's
    // own Print and Cancel).
    for (char c : text) {
      const auto letter = static_cast<unsigned char>(c);
      if (letter >= 0x80 || !std::isalpha(letter)) continue;
      const char lower = char(std::tolower(letter));
      if (lower == 'p' || lower == 'c') continue;
      const bool taken = std::any_of(mnemonics_.begin(), mnemonics_.end(),
                                     [&](const auto& used) { return used.second == lower; });
      if (!taken) {
        key = lower;
        break;
      }
    }
  }
  std::string marked;
  const std::size_t keyAt = key ? position(key) : std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == keyAt) marked += '_';
    marked += text[i];
    if (text[i] == '_') marked += '_';
  }
  if (gtk_label_get_use_underline(label) && marked == gtk_label_get_label(label) &&
      gtk_label_get_mnemonic_widget(label) == target)
    return;
  gtk_label_set_text_with_mnemonic(label, marked.c_str());
  gtk_label_set_mnemonic_widget(label, target);
}

void PanelView::syncAccessibleName(Binding& b) {
  using Kind = Binding::Kind;
  if (b.kind == Kind::Push || b.kind == Kind::Check) {
    setAccessibleName(b, b.widget, static_cast<platform::Button*>(b.view)->title());
  } else if (b.kind == Kind::Tabs) {
    // Each tab (GTK's widget around the label the view gave it) is named
    // by its label.
    for (GtkWidget* label : b.tabLabels) {
      GtkWidget* tab = gtk_widget_get_parent(label);
      if (tab && tab != b.widget) nameInner(tab, gtk_label_get_text(GTK_LABEL(label)));
    }
  }
}

}  // namespace jobwick::gtkui
