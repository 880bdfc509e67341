// One cold start of Qt alone, the floor under the menu's start that
// qt_ui_bench sets beside it. Run the way the library runs its UI: a thread
// of its own with a GUI application and a QML engine holding an empty window,
// timed from the thread's start to its event loop running. Its Qt libraries
// are linked in, so they are loaded before the clock starts, as the menu's
// are by dlopen. A program of its own, so that the menu's starts run in a
// process that does not link Qt's GUI libraries, as a host's does not.
// Prints "<ms to ready> <1 if the loop ran within the time init waits>".

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// As long as ZeravQtUi_initQtUi waits for the UI thread.
constexpr std::chrono::milliseconds initWait { 150 };

using Clock = std::chrono::steady_clock;

} // namespace

int main()
{
    // Run alone, Qt would otherwise look for a display; a caller's own
    // choice is kept.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");

    std::mutex readyMutex;
    std::condition_variable readyCondition;
    bool ready = false;
    bool loaded = true;

    const Clock::time_point start = Clock::now();
    std::thread uiThread([&] {
        // As the library does, so that neither start reads a cache of
        // compiled QML that the other does not.
        qputenv("QML_DISABLE_DISK_CACHE", "1");
        int argc = 1;
        char argument0[] = "bare";
        char* argv[] = { argument0, nullptr };
        QGuiApplication application(argc, argv);
        QQmlApplicationEngine engine;
        engine.loadData(QByteArrayLiteral("import QtQuick.Window 2.15\nWindow {}"));
        loaded = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0)) != nullptr;
        QTimer::singleShot(0, &application, [&] {
            std::lock_guard<std::mutex> lock(readyMutex);
            ready = true;
            readyCondition.notify_all();
        });
        application.exec();
    });

    bool readyInTime = false;
    {
        std::unique_lock<std::mutex> lock(readyMutex);
        readyInTime = readyCondition.wait_until(lock, start + initWait, [&] { return ready; });
        readyCondition.wait(lock, [&] { return ready; });
    }
    const double readyMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    uiThread.join();
    if (!loaded) {
        std::fprintf(stderr, "the empty window did not load\n");
        return 2;
    }
    std::printf("%.3f %d\n", readyMs, readyInTime ? 1 : 0);
    return 0;
}
