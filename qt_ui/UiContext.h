#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

class ImageProvider;
class WatchedThread;
class QGuiApplication;
class QQmlApplicationEngine;
class VpnMenuController;

// The process-wide state of the menu library: the UI thread, which owns every
// Qt object of the library, and the hand-shake that tells the host it runs.
class UiContext
{
public:
    static UiContext& instance();

    UiContext();
    ~UiContext();
    UiContext(const UiContext&) = delete;
    UiContext& operator=(const UiContext&) = delete;

    // Starts the UI thread once per process and waits at most 150 ms for its
    // event loop; false when started before or not ready in time.
    bool start();

    // Ends the UI thread's event loop, or keeps it from entering it, and on
    // any other thread waits until the UI thread has ended entirely, Qt's
    // clean-up of its thread data included: a host that quits and then exits
    // leaves nothing running beside the destruction of Qt's static objects.
    // The wait is bounded, since the UI thread may itself be waiting for the
    // caller inside a click callback. Called on the UI thread itself, from a
    // request or a click callback, it returns at once.
    void stop();

    // Registers the exit-time stop anew once the start is over. Called when
    // the thread that started the UI ends, which, when that thread ends the
    // process, comes before every exit handler.
    void registerStopOnStarterEnd();

    // Builds engine, controller and image provider on the calling thread, which
    // must be the GUI thread, and loads the window.
    void createMenu();

    VpnMenuController* menuController() const;
    QQmlApplicationEngine* menuEngine() const;
    ImageProvider* imageProvider() const;

    // Whether a request posted now would reach the UI thread at all.
    bool acceptsRequests() const
    {
        return postReceiver.load() != nullptr;
    }

    // Runs the request on the UI thread, in posting order; dropped while no
    // event loop would run it: before the start, and once a stop was asked
    // for or the loop has ended.
    template <typename Request>
    void postToUiThread(Request&& request)
    {
        QObject* receiver = postReceiver.load();
        if (!receiver)
            return;
        QMetaObject::invokeMethod(receiver, std::forward<Request>(request), Qt::QueuedConnection);
    }

private:
    void uiThreadMain();
    // With readyMutex held: until the UI is ready or its thread has left.
    void waitForStartLocked(QDeadlineTimer deadline);
    // Requests reach the application from now on, unless a stop came first.
    void openForRequests();
    bool stopRequestedBeforeLoop();
    void markUiThreadLeft();
    void markReady();
    void stopAtProcessExit();
    static void stopUiAtExit();

    int argc = 1;
    const char* argument0 = "firstArgument";
    char* argv[2] = { const_cast<char*>(argument0), nullptr };
    const QString providerId = QStringLiteral("imgProvider");
    std::unique_ptr<WatchedThread> uiThread;
    std::thread::id uiThreadId;
    std::unique_ptr<QGuiApplication> application;
    std::unique_ptr<QQmlApplicationEngine> engine;
    std::unique_ptr<VpnMenuController> controller;
    QMutex readyMutex;
    QWaitCondition readyCondition;
    bool ready = false;
    // Set when the UI thread leaves its function, ready or not.
    bool uiThreadLeft = false;
    bool stopRequested = false;
    // Only exit handlers, on the exiting thread, read and write it.
    bool stoppedAtExit = false;
    std::atomic<QObject*> postReceiver { nullptr };
};
