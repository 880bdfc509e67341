// Time to reset, sort and draw a list of 1,000 servers in the menu window,
// each figure beside a baseline measured in the same run: the same rows in a
// plain QStandardItemModel, drawn by the same list in the same window.
// Prints one "name value baseline unit" line per figure.

#include "ImageProvider.h"
#include "ServerListUiModel.h"
#include "UiContext.h"
#include "VpnMenuController.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QStandardItem>
#include <QStandardItemModel>
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

// The menu's model tells the list of a new list with one reset. clear() and
// appendRows() of a QStandardItemModel would tell it twice, a reset and then
// an insertion of every row, which costs the list a second layout and would
// time that rather than the model; one reset around both, with their own
// notices held back, tells the list the same as the menu's model does.
class ReplacingItemModel : public QStandardItemModel
{
public:
    void replaceRows(const QList<QStandardItem*>& rows)
    {
        beginResetModel();
        const bool wasBlocked = blockSignals(true);
        clear();
        invisibleRootItem()->appendRows(rows);
        blockSignals(wasBlocked);
        endResetModel();
    }
};

// The plain-Qt list the menu's model is set beside: a QStandardItemModel
// filled with rows that std::sort has put in the menu's order, by type and
// then highest priority first. A QSortFilterProxyModel would compare through
// QVariant and stand between the list and every row it reads, timing the
// proxy more than the list; this way both sort the same data the same way
// and differ only in the model the list reads.
class PlainServerList
{
public:
    enum Role {
        CodeRole = Qt::UserRole,
        NameRole,
        TypeRole,
        PriorityRole,
        IsSelectedRole,
    };

    PlainServerList()
    {
        // The role names the menu's delegates read.
        model.setItemRoleNames({
            { CodeRole, QByteArrayLiteral("code") },
            { NameRole, QByteArrayLiteral("name") },
            { TypeRole, QByteArrayLiteral("type") },
            { PriorityRole, QByteArrayLiteral("priority") },
            { IsSelectedRole, QByteArrayLiteral("isSelected") },
        });
    }

    QStandardItemModel* itemModel()
    {
        return &model;
    }

    void reset(const QVector<ServerEntry>& servers)
    {
        QVector<ServerEntry> sorted = servers;
        std::sort(sorted.begin(), sorted.end(), [](const ServerEntry& a, const ServerEntry& b) {
            if (a.type != b.type)
                return a.type < b.type;
            return a.priority > b.priority;
        });
        QList<QStandardItem*> rows;
        rows.reserve(sorted.size());
        for (const ServerEntry& server : sorted) {
            auto* row = new QStandardItem;
            row->setData(server.code, CodeRole);
            row->setData(server.name, NameRole);
            // The section text the menu's model gives the list.
            row->setData(server.type == ServerListUiModel::PremiumType ? QStringLiteral("premium")
                                                                       : QStringLiteral("free"),
                TypeRole);
            row->setData(server.priority, PriorityRole);
            row->setData(false, IsSelectedRole);
            rows.append(row);
        }
        model.replaceRows(rows);
    }

private:
    ReplacingItemModel model;
};

// Qt would otherwise look for a display; a caller's own choice is kept.
void useOffscreenUnlessChosen()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
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

// Puts the model under the list and draws it, outside the timed part: the
// delegates of the model shown before are gone before a round starts, so
// neither model's round pays for the other's rows.
bool showModel(QQuickWindow* window, QQuickItem* list, QAbstractItemModel* model)
{
    list->setProperty("model", QVariant::fromValue<QObject*>(model));
    const bool drawn = waitForFrame(window);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return drawn;
}

struct Timings
{
    std::vector<double> resetSort;
    std::vector<double> total;
};

// One round: the reset and sort, then the frame that shows the result; false
// when no frame came or the list does not hold every row.
template <typename Reset>
bool timeRound(QQuickWindow* window, QQuickItem* list, Reset reset, Timings& timings)
{
    QElapsedTimer timer;
    timer.start();
    reset();
    timings.resetSort.push_back(timer.nsecsElapsed() / 1e6);
    if (!waitForFrame(window))
        return false;
    timings.total.push_back(timer.nsecsElapsed() / 1e6);
    return list->property("count").toInt() == serverCount;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void printFigure(const char* name, const std::vector<double>& values, const std::vector<double>& baseline)
{
    std::printf("%-32s %7.2f %10.2f %s\n", name, median(values), median(baseline), "ms");
}

} // namespace

int main(int argc, char** argv)
{
    useOffscreenUnlessChosen();
    qputenv("QML_DISABLE_DISK_CACHE", "1");
    QGuiApplication application(argc, argv);
    UiContext context;
    context.createMenu();
    auto* window = qobject_cast<QQuickWindow*>(context.menuEngine()->rootObjects().value(0));
    if (!window)
        return 1;
    auto* list = window->findChild<QQuickItem*>(QStringLiteral("serverList"));
    if (!list)
        return 1;
    VpnMenuController* controller = context.menuController();
    ServerListUiModel* model = controller->serverListModel();
    PlainServerList plainList;
    QImage icon(24, 24, QImage::Format_ARGB32);
    icon.fill(Qt::darkCyan);
    for (int i = 0; i < serverCount; ++i)
        context.imageProvider()->storeIcon(QStringLiteral("srv-%1").arg(i), icon);

    controller->showAt(0, 0);
    if (!waitForFrame(window))
        return 1;

    // The two models take turns in every round, so that drift of the machine
    // falls on both alike.
    Timings menu;
    Timings plain;
    for (int round = 0; round < rounds; ++round) {
        const QVector<ServerEntry> servers = sampleServers(quint32(round + 1));
        const auto resetMenu = [&] {
            model->startList();
            for (const ServerEntry& server : servers)
                model->addServer(server);
            model->endList();
        };
        if (!showModel(window, list, model) || !timeRound(window, list, resetMenu, menu))
            return 1;
        if (!showModel(window, list, plainList.itemModel())
            || !timeRound(window, list, [&] { plainList.reset(servers); }, plain))
            return 1;
    }

    if (argc < 2 || std::strcmp(argv[1], "--no-header") != 0)
        std::printf("%-32s %7s %10s %s\n", "name", "value", "baseline", "unit");
    printFigure("list_1000_reset_and_sort", menu.resetSort, plain.resetSort);
    printFigure("list_1000_reset_sort_and_draw", menu.total, plain.total);
    // Both lists are drawn by one window, so the baseline's platform is the same.
    const QByteArray platform = QGuiApplication::platformName().toUtf8();
    std::printf("%-32s %7s %10s %s\n", "platform", platform.constData(), platform.constData(), "-");
    return 0;
}
