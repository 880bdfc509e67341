// A host that loads the menu library at run time and uses only its exports.
// Qt appears here solely to play the user: to look at the screen and click.

#include "HostCheck.h"

#include "LoadedLibrary.h"
#include "QuickItemFinder.h"
#include "SlowStartRetry.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

using namespace QuickItemFinder;

namespace {

struct ClickRecord
{
    int calls = 0;
    void* context = nullptr;
    std::wstring code;
    bool menuVisibleDuringCall = true;
};

QQuickWindow* menuWindow()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        if (window->objectName() == QLatin1String("vpnWindow"))
            return qobject_cast<QQuickWindow*>(window);
    }
    return nullptr;
}

// The click callback runs on the menu's own thread, so it may look there.
void recordClick(void* context, const wchar_t* serverCode)
{
    auto* record = static_cast<ClickRecord*>(context);
    ++record->calls;
    record->context = context;
    record->code = serverCode;
    record->menuVisibleDuringCall = menuWindow()->isVisible();
}

// What the user does happens on the thread that owns the window.
template <typename Action>
auto asUser(Action action) -> decltype(action())
{
    decltype(action()) result {};
    QMetaObject::invokeMethod(QCoreApplication::instance(), action, Qt::BlockingQueuedConnection, &result);
    return result;
}

QStringList shownRows()
{
    return asUser([] {
        QStringList names;
        if (QQuickWindow* window = menuWindow(); window && window->isVisible()) {
            const QList<QQuickItem*> rows = visibleItems(window, QStringLiteral("serverRow"));
            for (QQuickItem* row : rows)
                names << row->property("text").toString();
        }
        return names;
    });
}

bool clickRow(int index)
{
    return asUser([index] {
        QQuickWindow* window = menuWindow();
        const QList<QQuickItem*> rows = visibleItems(window, QStringLiteral("serverRow"));
        if (index >= rows.size())
            return false;
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centreInWindow(rows.at(index)));
        return true;
    });
}

bool menuVisible()
{
    return asUser([] { return menuWindow()->isVisible(); });
}

// Waits for what the user should see, as a person would look again.
QStringList waitForRows(int count)
{
    QStringList rows;
    for (int attempt = 0; attempt < 100 && rows.size() != count; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        rows = shownRows();
    }
    return rows;
}

const char svgIcon[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\">"
                       "<circle cx=\"12\" cy=\"12\" r=\"10\" fill=\"#d00\"/></svg>";

using Clock = std::chrono::steady_clock;

// The test's own limit for the hand-over below; the library's wait in quit
// must end well within it.
constexpr auto handOverLimit = std::chrono::seconds(10);

// A host whose click callback hands the click to the thread that owns the
// host's state and waits until that thread has handled it, as SendMessage
// does; the owner's answer to the click is to quit the menu.
struct HandOver
{
    LoadedLibrary* library = nullptr;
    std::thread owner;
    std::mutex mutex;
    std::condition_variable handled;
    bool done = false;
    bool doneInTime = false;
    Clock::duration quitTook {};
};

void handClickOver(void* context, const wchar_t*)
{
    auto* handOver = static_cast<HandOver*>(context);
    handOver->owner = std::thread([handOver] {
        const Clock::time_point start = Clock::now();
        handOver->library->quit();
        const std::lock_guard<std::mutex> lock(handOver->mutex);
        handOver->quitTook = Clock::now() - start;
        handOver->done = true;
        handOver->handled.notify_all();
    });
    std::unique_lock<std::mutex> lock(handOver->mutex);
    handOver->doneInTime = handOver->handled.wait_for(lock, handOverLimit, [handOver] { return handOver->done; });
}

void startUi(LoadedLibrary& library)
{
    if (!library.initQtUi())
        SlowStartRetry::startMissedLimit();
}

void clickScenario()
{
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    ClickRecord early;
    library.setServerClickCallback(&early, &recordClick);
    library.startServerList();
    library.addServer(L"ghost", L"Ghost", 0, 100);
    library.endServerList();
    library.showAt(0, 0);

    startUi(library);
    CHECK(!library.initQtUi());

    library.startServerList();
    library.addServer(L"de", L"Germany", 0, 5);
    library.addServer(L"us", L"United States", 2, 1);
    library.addServer(L"fr", L"France", 0, 9);
    library.endServerList();
    library.addIcon(L"de", svgIcon, int(std::strlen(svgIcon)));
    library.selectServerWithCode(L"de");
    library.setIp(L"de", "192.0.2.10");
    library.setVpnConnectionState(1);
    library.showAt(30, 40);

    const QStringList expectedRows { "France", "Germany", "United States" };
    CHECK(waitForRows(3) == expectedRows);

    // Nothing registered since init: the callback given before init is gone.
    CHECK(clickRow(1));
    CHECK(early.calls == 0);
    CHECK(!menuVisible());

    ClickRecord record;
    library.setServerClickCallback(&record, &recordClick);
    library.showAt(30, 40);
    CHECK(waitForRows(3) == expectedRows);
    CHECK(clickRow(2));
    CHECK(record.calls == 1);
    CHECK(record.context == &record);
    CHECK(record.code == L"us");
    CHECK(!record.menuVisibleDuringCall);

    library.quit();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CHECK(!library.initQtUi());
    CHECK(library.unload() == 0);
}

// The owner's quit cannot wait for the menu's thread, which waits for the
// owner inside the callback: quit gives up in time, the hand-over completes,
// and the menu's loop still ends once the callback has returned.
void quitFromHandedOverClickScenario()
{
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    startUi(library);
    HandOver handOver;
    handOver.library = &library;
    library.setServerClickCallback(&handOver, &handClickOver);
    library.startServerList();
    library.addServer(L"de", L"Germany", 0, 5);
    library.endServerList();
    library.showAt(30, 40);
    CHECK(waitForRows(1) == QStringList { "Germany" });

    CHECK(clickRow(0));
    if (handOver.owner.joinable())
        handOver.owner.join();
    CHECK(handOver.doneInTime);
    CHECK(handOver.quitTook < handOverLimit);

    // A quit after the loop has ended has nothing left to wait for.
    const Clock::time_point start = Clock::now();
    library.quit();
    CHECK(Clock::now() - start < std::chrono::seconds(1));
    CHECK(!library.initQtUi());
}

const HostScenario scenarios[] = {
    { "click", &clickScenario },
    { "quit_from_handed_over_click", &quitFromHandedOverClickScenario },
};

} // namespace

int main(int argc, char** argv)
{
    return SlowStartRetry::runNamed(argc, argv, scenarios);
}
