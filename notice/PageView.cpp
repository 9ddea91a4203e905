#include "PageView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibrary>
#include <QOpenGLContext>
#include <QUrl>

QT_BEGIN_NAMESPACE
// Qt's own, exported for the browser engine, which declares it the same way.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
QT_END_NAMESPACE

namespace {

using CreateFunction = QWidget *(*)(QWidget *);

CreateFunction &createFunction()
{
    static CreateFunction function = nullptr;
    return function;
}

// The browser engine shares OpenGL resources with the window through a context that Qt creates at start-up
// when asked to. Created up front, it would load the whole OpenGL stack (tens of megabytes) into a program that
// may never show a notice; the engine takes it as long as it exists before the engine is loaded.
void shareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext())
        return;
    auto *context = new QOpenGLContext;
    context->create();
    qt_gl_set_global_share_context(context);
    // Windows share with it only while this is set. Qt warns that it is set late, but the context it stands
    // for exists, which is all that the warning is about.
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &where, const QString &text) {
        if (!text.contains(QLatin1String("AA_ShareOpenGLContexts")) && previous)
            previous(type, where, text);
    });
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(previous);
    // Runs after the engine's own clean-up, which is added later.
    qAddPostRoutine([] {
        QOpenGLContext *shared = QOpenGLContext::globalShareContext();
        qt_gl_set_global_share_context(nullptr);
        delete shared;
    });
}

CreateFunction loadModule()
{
    if (createFunction())
        return createFunction();
    shareOpenGLContexts();
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
