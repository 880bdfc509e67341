#include "UiContext.h"

#include "DesktopComposition.h"
#include "ImageProvider.h"
#include "LibraryPin.h"
#include "VpnMenuController.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTimer>
#include <QUrl>
#include <QtQml>

#include <cstdlib>
#include <system_error>

namespace {

constexpr int readyTimeoutMs = 150;

} // namespace

// Q_INIT_RESOURCE declares its function where it is used, so this must stay
// outside any namespace; registering an already registered set has no effect.
static void registerCompiledResources()
{
    Q_INIT_RESOURCE(qml);
    Q_INIT_RESOURCE(icons);
}

UiContext& UiContext::instance()
{
    static UiContext context;
    return context;
}

UiContext::UiContext() = default;

UiContext::~UiContext()
{
    if (uiThread) {
        stopAtProcessExit();
        return;
    }
    // A menu built on the caller's thread: the window goes before the
    // controller that its bindings read.
    engine.reset();
}

bool UiContext::start()
{
    QMutexLocker lock(&readyMutex);
    if (uiThread || application)
        return false;
    pinLibrary();
    // An exception must not cross the C interface into the host; a thread
    // that could not be started is a start that did not succeed.
    try {
        uiThread = std::make_unique<std::thread>(&UiContext::uiThreadMain, this);
    } catch (const std::system_error&) {
        return false;
    }

    // The flag, not the wake-up, carries the news, so a UI thread that is
    // ready before this wait begins is not missed.
    QDeadlineTimer deadline(readyTimeoutMs);
    while (!ready && !deadline.hasExpired())
        readyCondition.wait(&readyMutex, deadline);
    return ready;
}

void UiContext::createMenu()
{
    registerCompiledResources();
    qmlRegisterType<VpnMenuController>("VpnMenu", 1, 0, "VpnMenu");

    engine = std::make_unique<QQmlApplicationEngine>();
    controller = std::make_unique<VpnMenuController>();

    const QUrl url(QStringLiteral("qrc:/main.qml"));
    QObject::connect(engine.get(), &QQmlApplicationEngine::objectCreated, QCoreApplication::instance(),
        [url](QObject* object, const QUrl& objectUrl) {
            if (!object && url == objectUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);

    engine->rootContext()->setContextProperty(QStringLiteral("vpnMenu"), controller.get());
    engine->addImageProvider(providerId, new ImageProvider);
    engine->rootContext()->setContextProperty(QStringLiteral("iconStorage"), imageProvider());
    engine->load(url);
}

VpnMenuController* UiContext::menuController() const
{
    return controller.get();
}

QQmlApplicationEngine* UiContext::menuEngine() const
{
    return engine.get();
}

ImageProvider* UiContext::imageProvider() const
{
    if (!engine)
        return nullptr;
    return dynamic_cast<ImageProvider*>(engine->imageProvider(providerId));
}

void UiContext::uiThreadMain()
{
    qputenv("QML_DISABLE_DISK_CACHE", "1");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
#ifdef Q_OS_WIN
    QCoreApplication::setAttribute(isWindows7() ? Qt::AA_UseSoftwareOpenGL : Qt::AA_UseOpenGLES);
#endif

    application = std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zerav Mobile"));
    postReceiver.store(application.get());

    createMenu();

    QTimer::singleShot(0, application.get(), [this] { markReady(); });
    application->exec();
    finishUiThread();
}

void UiContext::markReady()
{
    QMutexLocker lock(&readyMutex);
    ready = true;
    readyCondition.wakeAll();
    // Exit handlers run last registered first. Qt registers many of its own
    // while the UI starts; this one, registered after them, stops the UI
    // thread before they destroy what it may still use.
    std::atexit(&stopUiAtExit);
}

void UiContext::stopUiAtExit()
{
    instance().stopAtProcessExit();
}

// Application, engine and controller outlive the event loop: requests posted
// later still find a receiver, and nothing is destroyed under a host that
// keeps calling.
void UiContext::finishUiThread()
{
    QMutexLocker lock(&readyMutex);
    finished = true;
    readyCondition.wakeAll();
}

// The library is pinned once the UI runs, so its static objects go only at
// process exit. Qt's own static objects may already be gone by then, so the
// Qt objects are left to the end of the process rather than destroyed; the
// UI thread is stopped first, so that it does not run on meanwhile.
void UiContext::stopAtProcessExit()
{
    const bool onUiThread = uiThread->get_id() == std::this_thread::get_id();
    if (uiThread->joinable() && uiThreadMayRunAtExit() && !onUiThread) {
        {
            QMutexLocker lock(&readyMutex);
            while (!ready && !finished)
                readyCondition.wait(&readyMutex);
        }
        postToUiThread([] { QCoreApplication::exit(0); });
        uiThread->join();
    }
    postReceiver.store(nullptr);
    if (uiThread->joinable())
        uiThread->detach();
    (void)controller.release();
    (void)engine.release();
    (void)application.release();
}
