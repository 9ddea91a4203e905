// The browser engine behind the notice window's page pane, loaded on demand (see PageView).

#include <QWebEngineView>

extern "C" Q_DECL_EXPORT QWidget *poronicaCreatePageView(QWidget *parent)
{
    auto *view = new QWebEngineView(parent);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    return view;
}
