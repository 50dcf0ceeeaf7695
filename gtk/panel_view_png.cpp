// SPDX-License-Identifier: Apache-2.0
// A widget drawn into a PNG file, as its window draws it now (screenshots).
#include <memory>

#include "gtk/panel_view.h"

namespace jobwick::gtkui {

namespace {

struct RenderNodeUnref {
  void operator()(GskRenderNode* node) const { gsk_render_node_unref(node); }
};

}  // namespace

bool saveWidgetPng(GtkWidget* widget, const std::filesystem::path& path, std::string* error) {
  GtkNative* native = gtk_widget_get_native(widget);
  GskRenderer* renderer = native ? gtk_native_get_renderer(native) : nullptr;
  const int width = gtk_widget_get_width(widget);
  const int height = gtk_widget_get_height(widget);
  if (!renderer || width <= 0 || height <= 0) {
    if (error) *error = "the panel is not on screen, so it cannot be drawn";
    return false;
  }
  GRef<GdkPaintable> paintable(gtk_widget_paintable_new(widget));
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable.get(), GDK_SNAPSHOT(snapshot), width, height);
  // Freeing the snapshot makes the node (or null when nothing was drawn).
  const std::unique_ptr<GskRenderNode, RenderNodeUnref> node(gtk_snapshot_free_to_node(snapshot));
  if (!node) {
    if (error) *error = "the panel drew nothing";
    return false;
  }
  graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
  GRef<GdkTexture> texture(gsk_renderer_render_texture(renderer, node.get(), &bounds));
  const bool saved = texture.get() && gdk_texture_save_to_png(texture.get(), path.c_str());
  if (!saved && error) *error = path.string() + ": cannot write the PNG file";
  return saved;
}

}  // namespace jobwick::gtkui
