// SPDX-License-Identifier: Apache-2.0
// plain_print_dialog: GTK's own print dialog with nothing added, the
// reference the bench sets `jobwick dialog` against. It does what
// `jobwick dialog FILE --printer QUEUE --cancel` does with the dialog:
// presents it with QUEUE chosen in its settings, runs the main loop until
// the print backends have listed QUEUE, selects it in the printer list
// unless the dialog already has, and once the dialog shows it cancels and
// ends. The bench times the whole process from outside.
//
// Usage: plain_print_dialog QUEUE
// Exit status: 0 when the dialog showed QUEUE, 1 when it did not within
// 30 seconds, 2 without a display.
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <string.h>

static gboolean timedOut(gpointer flag) {
  *(gboolean*)flag = TRUE;
  return G_SOURCE_REMOVE;
}

static gboolean showsQueue(GtkPrintUnixDialog* dialog, const char* queue) {
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog);
  return printer && strcmp(gtk_printer_get_name(printer), queue) == 0;
}

// The dialog's list of printers (the selection model of its printer list
// view), as `jobwick dialog` finds it; null before the list is there.
static GListModel* printerList(GtkWidget* widget) {
  if (GTK_IS_COLUMN_VIEW(widget)) {
    GListModel* model = G_LIST_MODEL(gtk_column_view_get_model(GTK_COLUMN_VIEW(widget)));
    if (model && g_list_model_get_n_items(model) > 0) {
      GObject* first = G_OBJECT(g_list_model_get_item(model, 0));
      const gboolean printers = GTK_IS_PRINTER(first);
      g_object_unref(first);
      if (printers) return model;
    }
  }
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child)) {
    GListModel* found = printerList(child);
    if (found) return found;
  }
  return NULL;
}

// Selects `queue` in the list once the backends have listed it, as
// `jobwick dialog --printer` does; TRUE once it is selected.
static gboolean selectQueue(GtkWidget* dialog, const char* queue) {
  GListModel* list = printerList(dialog);
  for (guint i = 0; list && i < g_list_model_get_n_items(list); ++i) {
    GObject* item = G_OBJECT(g_list_model_get_item(list, i));
    const gboolean match =
        GTK_IS_PRINTER(item) && strcmp(gtk_printer_get_name(GTK_PRINTER(item)), queue) == 0;
    g_object_unref(item);
    if (match) return gtk_selection_model_select_item(GTK_SELECTION_MODEL(list), i, TRUE);
  }
  return FALSE;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    g_printerr("usage: plain_print_dialog QUEUE\n");
    return 2;
  }
  if (!gtk_init_check()) {
    g_printerr("plain_print_dialog: cannot open the display\n");
    return 2;
  }
  const char* queue = argv[1];
  GtkWidget* dialog = gtk_print_unix_dialog_new("Print", NULL);
  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, queue);
  gtk_print_unix_dialog_set_settings(GTK_PRINT_UNIX_DIALOG(dialog), settings);
  g_object_unref(settings);
  gtk_window_present(GTK_WINDOW(dialog));

  gboolean late = FALSE;
  const guint timer = g_timeout_add_seconds(30, timedOut, &late);
  while (!late && !showsQueue(GTK_PRINT_UNIX_DIALOG(dialog), queue)) {
    g_main_context_iteration(NULL, TRUE);
    if (!showsQueue(GTK_PRINT_UNIX_DIALOG(dialog), queue)) selectQueue(dialog, queue);
  }
  const gboolean shown = !late;
  if (!late) g_source_remove(timer);
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  gtk_window_destroy(GTK_WINDOW(dialog));
  while (g_main_context_iteration(NULL, FALSE)) {
  }
  if (!shown) g_printerr("plain_print_dialog: the dialog did not show queue %s\n", queue);
  return shown ? 0 : 1;
}
