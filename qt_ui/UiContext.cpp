#include "UiContext.h"

#include "DesktopComposition.h"
#include "ImageProvider.h"
#include "LibraryPin.h"
#include "VpnMenuController.h"
#include "WatchedThread.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTimer>
#include <QUrl>
#include <QtQml>

#include <chrono>
#include <cstdlib>
#include <system_error>

namespace {

constexpr int readyTimeoutMs = 150;
// Ending the loop and cleaning up after it takes milliseconds; a quit that
// waits longer waits for a UI thread held up by the host itself.
constexpr std::chrono::seconds stopLimit(3);
// How long the thread that started the UI waits, when it ends, for a start
// still in progress; a start takes well under a second even on a busy machine.
constexpr int startLimitAtStarterEndMs = 10000;

// Constant-initialised and trivially destructible, so that it can still be
// read by an exit handler that runs after the context's destructor.
std::atomic<bool> contextDestroyed { false };

// Destroyed when the thread that started the UI ends. When that thread ends
// the process, its thread-local objects go before any exit handler runs.
struct StarterThreadGuard
{
    ~StarterThreadGuard()
    {
        if (!contextDestroyed.load())
            UiContext::instance().registerStopOnStarterEnd();
    }
};

void armStarterThreadGuard()
{
    static thread_local StarterThreadGuard guard;
    (void)guard;
}

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
    // Armed before the UI thread can touch Qt, so that every exit of this
    // thread stops the UI before Qt's exit handlers run.
    if (uiThreadMayRunAtExit())
        armStarterThreadGuard();
    // An exception must not cross the C interface into the host; a thread
    // that could not be started is a start that did not succeed.
    try {
        uiThread = std::make_unique<WatchedThread>([this] { uiThreadMain(); });
    } catch (const std::system_error&) {
        return false;
    }

    waitForStartLocked(QDeadlineTimer(readyTimeoutMs));
    return ready;
}

// The flags, not the wake-up, carry the news, so a UI thread that is ready
// before this wait begins is not missed.
void UiContext::waitForStartLocked(QDeadlineTimer deadline)
{
    while (!ready && !uiThreadLeft && !deadline.hasExpired())
        readyCondition.wait(&readyMutex, deadline);
}

// Exit handlers run last registered first, and Qt registers its own as the UI
// thread first uses each of its static objects, so a stop registered before
// the start ends runs after some of them, while the UI thread may still be
// using what they destroy. Registered here, at the end of the thread that
// started the UI, the stop is the newest handler: when that thread ends the
// process, it runs before all of Qt's; when the thread merely ends, the start
// is let finish first, so that a later exit from another thread finds the
// stop newer than the handlers of the start.
void UiContext::registerStopOnStarterEnd()
{
    {
        QMutexLocker lock(&readyMutex);
        waitForStartLocked(QDeadlineTimer(startLimitAtStarterEndMs));
    }
    std::atexit(&stopUiAtExit);
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
    {
        QMutexLocker lock(&readyMutex);
        uiThreadId = std::this_thread::get_id();
    }
    qputenv("QML_DISABLE_DISK_CACHE", "1");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
#ifdef Q_OS_WIN
    QCoreApplication::setAttribute(isWindows7() ? Qt::AA_UseSoftwareOpenGL : Qt::AA_UseOpenGLES);
#endif

    application = std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zerav Mobile"));
    openForRequests();

    createMenu();

    QTimer::singleShot(0, application.get(), [this] { markReady(); });
    // Application, engine and controller outlive the event loop, so that
    // nothing is destroyed under a host that keeps calling; its requests are
    // dropped from then on.
    if (!stopRequestedBeforeLoop())
        application->exec();
    markUiThreadLeft();
}

void UiContext::openForRequests()
{
    QMutexLocker lock(&readyMutex);
    if (!stopRequested)
        postReceiver.store(application.get());
}

// A stop requested before the application could receive it was not posted;
// one requested later is in the queue and ends the loop as soon as it runs.
bool UiContext::stopRequestedBeforeLoop()
{
    QMutexLocker lock(&readyMutex);
    return stopRequested;
}

void UiContext::markUiThreadLeft()
{
    // Also when the loop ended by itself, because the window failed to load.
    postReceiver.store(nullptr);
    QMutexLocker lock(&readyMutex);
    uiThreadLeft = true;
    readyCondition.wakeAll();
}

void UiContext::markReady()
{
    QMutexLocker lock(&readyMutex);
    ready = true;
    readyCondition.wakeAll();
    // Registered after the handlers of the start, for an exit from a thread
    // other than the one that started the UI.
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
    // The quit is the last request the application receives: the loop would
    // never run later ones, which would only pile up.
    if (QObject* receiver = postReceiver.exchange(nullptr))
        QMetaObject::invokeMethod(receiver, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    if (onUiThread)
        return;
    // Once out of its loop the thread still runs Qt's clean-up of its thread
    // data, which uses Qt's static objects; waiting here, rather than only at
    // process exit, keeps that from overlapping the exit handlers that
    // destroy them, whatever order those were registered in.
    uiThread->waitForEnd(stopLimit);
}

// The library is pinned once the UI runs, so its static objects go only at
// process exit. Qt's own static objects may already be gone by then, so the
// Qt objects are left to the end of the process rather than destroyed; the
// UI thread is stopped first, so that it does not run on meanwhile.
// The stop is registered more than once; a UI thread that outlasted the first
// wait is not waited for again.
void UiContext::stopAtProcessExit()
{
    if (stoppedAtExit)
        return;
    stoppedAtExit = true;
    if (uiThreadMayRunAtExit())
        stop();
    postReceiver.store(nullptr);
    (void)controller.release();
    (void)engine.release();
    (void)application.release();
}
