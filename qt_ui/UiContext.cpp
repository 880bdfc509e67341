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

// Constant-initialised and trivially destructible, so that it can still be
// read by an exit handler that runs after the context's destructor.
std::atomic<bool> contextDestroyed { false };

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
    contextDestroyed.store(true);
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
    uiThreadId = uiThread->get_id();

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
    // Application, engine and controller outlive the event loop: requests
    // posted later still find a receiver, and nothing is destroyed under a
    // host that keeps calling.
    if (!stopRequestedBeforeLoop())
        application->exec();
}

// A stop requested before the application could receive it was not posted;
// one requested later is in the queue and ends the loop as soon as it runs.
bool UiContext::stopRequestedBeforeLoop()
{
    QMutexLocker lock(&readyMutex);
    return stopRequested;
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
    // A UI that becomes ready only once the process is exiting registers this
    // handler too late: it runs after the context's destructor, which has
    // already stopped the UI thread.
    if (!contextDestroyed.load())
        instance().stopAtProcessExit();
}

void UiContext::stop()
{
    bool onUiThread = false;
    {
        QMutexLocker lock(&readyMutex);
        if (!uiThread)
            return;
        stopRequested = true;
        onUiThread = uiThreadId == std::this_thread::get_id();
    }
    postToUiThread([] { QCoreApplication::exit(0); });
    if (onUiThread)
        return;
    // Once out of its loop the thread still runs Qt's clean-up of its thread
    // data, which uses Qt's static objects; joining here, rather than only at
    // process exit, keeps that from overlapping the exit handlers that
    // destroy them, whatever order those were registered in.
    QMutexLocker joinLock(&joinMutex);
    if (uiThread->joinable())
        uiThread->join();
}

// The library is pinned once the UI runs, so its static objects go only at
// process exit. Qt's own static objects may already be gone by then, so the
// Qt objects are left to the end of the process rather than destroyed; the
// UI thread is stopped first, so that it does not run on meanwhile.
void UiContext::stopAtProcessExit()
{
    if (uiThreadMayRunAtExit())
        stop();
    postReceiver.store(nullptr);
    {
        QMutexLocker joinLock(&joinMutex);
        if (uiThread->joinable())
            uiThread->detach();
    }
    (void)controller.release();
    (void)engine.release();
    (void)application.release();
}
