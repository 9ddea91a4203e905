#include "PageView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibrary>
#include <QUrl>

namespace {

using CreateFunction = QWidget *(*)(QWidget *);

CreateFunction &createFunction()
{
    static CreateFunction function = nullptr;
    return function;
}

CreateFunction loadModule()
{
    if (createFunction())
        return createFunction();
    const QStringList candidates{
        QCoreApplication::applicationDirPath() + QStringLiteral("/poronica_webview"),
#ifdef PORONICA_MODULE_DIR
        QStringLiteral(PORONICA_MODULE_DIR "/poronica_webview"),
#endif
    };
    for (const QString &candidate : candidates) {
        QLibrary module(candidate);
        if (module.load()) {
            createFunction() = reinterpret_cast<CreateFunction>(module.resolve("poronicaCreatePageView"));
            if (createFunction())
                break;
        }
    }
    return createFunction();
}

} // namespace

QWidget *PageView::create(QWidget *parent)
{
    if (const CreateFunction create = loadModule())
        return create(parent);
    auto *fallback = new QLabel(QStringLiteral("ページを表示できません。"), parent);
    fallback->setAlignment(Qt::AlignCenter);
    return fallback;
}

void PageView::navigate(QWidget *view, const QUrl &url)
{
    view->setProperty("url", url); // the browser view's own property; the fallback just keeps it
}

bool PageView::engineLoaded()
{
    return createFunction() != nullptr;
}
