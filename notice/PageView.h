#pragma once

class QUrl;
class QWidget;

// The browser pane of the notice window. The browser engine is large, so it lives in a module of its
// own that is loaded only when the notice window is first loaded; the program never pays for it
// before then. Without the module the pane says that the page cannot be shown.
class PageView final {
public:
    static QWidget *create(QWidget *parent);
    static void navigate(QWidget *view, const QUrl &url);
    static bool engineLoaded();
};
