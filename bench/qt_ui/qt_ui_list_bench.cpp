// Time to reset, sort and draw a list of 1,000 servers in the menu window.
// Prints one "name value unit" line per figure.

#include "ImageProvider.h"
#include "ServerListUiModel.h"
#include "UiContext.h"
#include "VpnMenuController.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int serverCount = 1000;
constexpr int rounds = 15;

QVector<ServerEntry> sampleServers(quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<ServerEntry> servers;
    servers.reserve(serverCount);
    for (int i = 0; i < serverCount; ++i) {
        const QString code = QStringLiteral("srv-%1").arg(i);
        servers.append({ code, QStringLiteral("Server %1").arg(i), int(random.bounded(3)), int(random.bounded(1000)) });
    }
    return servers;
}

// Waits for the next frame the window puts on screen.
bool waitForFrame(QQuickWindow* window)
{
    QEventLoop loop;
    QObject::connect(window, &QQuickWindow::frameSwapped, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
    window->update();
    return loop.exec() == 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QML_DISABLE_DISK_CACHE", "1");
    QGuiApplication application(argc, argv);
    UiContext context;
    context.createMenu();
    auto* window = qobject_cast<QQuickWindow*>(context.menuEngine()->rootObjects().value(0));
    if (!window)
        return 1;
    VpnMenuController* controller = context.menuController();
    ServerListUiModel* model = controller->serverListModel();
    QImage icon(24, 24, QImage::Format_ARGB32);
    icon.fill(Qt::darkCyan);
    for (int i = 0; i < serverCount; ++i)
        context.imageProvider()->storeIcon(QStringLiteral("srv-%1").arg(i), icon);

    controller->showAt(0, 0);
    if (!waitForFrame(window))
        return 1;

    std::vector<double> resetSort;
    std::vector<double> total;
    for (int round = 0; round < rounds; ++round) {
        const QVector<ServerEntry> servers = sampleServers(quint32(round + 1));
        QElapsedTimer timer;
        timer.start();
        model->startList();
        for (const ServerEntry& server : servers)
            model->addServer(server);
        model->endList();
        resetSort.push_back(timer.nsecsElapsed() / 1e6);
        if (!waitForFrame(window))
            return 1;
        total.push_back(timer.nsecsElapsed() / 1e6);
    }

    if (argc < 2 || std::strcmp(argv[1], "--no-header") != 0)
        std::printf("%-32s %10s %s\n", "name", "value", "unit");
    std::printf("%-32s %10.2f %s\n", "list_1000_reset_and_sort", median(resetSort), "ms");
    std::printf("%-32s %10.2f %s\n", "list_1000_reset_sort_and_draw", median(total), "ms");
    std::printf("%-32s %10s %s\n", "platform", qPrintable(QGuiApplication::platformName()), "-");
    return 0;
}
