// zeb-grab FILE: saves the windows shown on the X display named by DISPLAY as a PNG file: the
// part of the screen they cover together (the whole screen when none is shown).
#include <QGuiApplication>
#include <QPixmap>
#include <QRect>
#include <QScreen>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The area that the root window's viewable children cover, within the screen; empty when
// none is viewable.
QRect shownWindows() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return {};
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const QRect whole(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    QRect shown;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr);
    const int count = tree ? xcb_query_tree_children_length(tree) : 0;
    const xcb_window_t* children = tree ? xcb_query_tree_children(tree) : nullptr;
    for (int i = 0; i < count; ++i) {
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, children[i]), nullptr);
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, children[i]), nullptr);
        if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            const int border = geometry->border_width;
            shown |= QRect(geometry->x, geometry->y, geometry->width + 2 * border,
                           geometry->height + 2 * border);
        }
        std::free(attributes);
        std::free(geometry);
    }
    std::free(tree);
    xcb_disconnect(connection);
    return shown & whole;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zeb-grab FILE.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = shownWindows();
    const QPixmap picture =
        !screen          ? QPixmap()
        : area.isEmpty() ? screen->grabWindow(0)
                         : screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "zeb-grab: the screen could not be saved to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
