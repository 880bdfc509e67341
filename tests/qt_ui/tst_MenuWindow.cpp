#include "ImageProvider.h"
#include "QuickItemFinder.h"
#include "ServerListUiModel.h"
#include "UiContext.h"
#include "VpnMenuController.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <string>

using namespace QuickItemFinder;

namespace {

using Entries = QVector<ServerEntry>;

QStringList capturedWarnings;

void captureWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        capturedWarnings << message;
}

struct ClickRecord
{
    QQuickWindow* window = nullptr;
    int calls = 0;
    void* context = nullptr;
    std::wstring code;
    bool windowVisibleDuringCall = true;
};

void recordClick(void* context, const wchar_t* serverCode)
{
    auto* record = static_cast<ClickRecord*>(context);
    ++record->calls;
    record->context = context;
    record->code = serverCode;
    record->windowVisibleDuringCall = record->window->isVisible();
}

QImage filled(QColor color)
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QColor colorOf(QQuickItem* item)
{
    return item->property("color").value<QColor>();
}

QRgb shownPixel(QQuickWindow* window, QPoint point)
{
    const QImage shot = window->screen()->grabWindow(window->winId()).toImage();
    return shot.isNull() ? QRgb() : shot.pixelColor(point).rgb();
}

QUrl sourceOf(QQuickItem* item)
{
    return item->property("source").toUrl();
}

} // namespace

Q_DECLARE_METATYPE(Entries)

class TestMenuWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void windowLoadsFromCompiledResources();
    void iconsHaveTheirSizeAndColour_data();
    void iconsHaveTheirSizeAndColour();
    void showAtMovesAndActivates();
    void losingActivationHides();
    void headerFollowsIpState_data();
    void headerFollowsIpState();
    void ipLineElidesInTheMiddle_data();
    void ipLineElidesInTheMiddle();
    void indicatorFollowsConnectionState_data();
    void indicatorFollowsConnectionState();
    void sectionsGroupFreeAndPremium_data();
    void sectionsGroupFreeAndPremium();
    void rowsShowNameAndIcon();
    void newIconShowsWithNextList();
    void checkMarkOnSelectedRowsOnly_data();
    void checkMarkOnSelectedRowsOnly();
    void themeSwitchesColoursAndGlobe_data();
    void themeSwitchesColoursAndGlobe();
    void rowClickHidesBeforeCallback();
    void ipLineClickDoesNothing();
    void iconFoundWhateverTheCode_data();
    void iconFoundWhateverTheCode();
    void bottomCornersStayRound_data();
    void bottomCornersStayRound();

private:
    void fill(const Entries& entries);
    void showWindow();
    QStringList texts(const QString& objectName, const char* property = "text") const;

    std::unique_ptr<UiContext> context;
    QQuickWindow* window = nullptr;
    VpnMenuController* controller = nullptr;
    ServerListUiModel* model = nullptr;
};

void TestMenuWindow::initTestCase()
{
    context = std::make_unique<UiContext>();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    context->createMenu();
    qInstallMessageHandler(previous);
    QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join(QLatin1Char('\n'))));

    QCOMPARE(context->menuEngine()->rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow*>(context->menuEngine()->rootObjects().first());
    QVERIFY(window);
    controller = context->menuController();
    model = controller->serverListModel();
    context->imageProvider()->storeIcon(QStringLiteral("de"), filled(Qt::red));
    context->imageProvider()->storeIcon(QStringLiteral("us"), filled(Qt::blue));
}

void TestMenuWindow::cleanupTestCase()
{
    context.reset();
}

void TestMenuWindow::init()
{
    controller->useLightTheme();
    controller->setIpConnecting();
    controller->setConnectionState(0);
    controller->setClickCallback(nullptr, nullptr);
    model->selectServer(QString());
    fill({});
}

void TestMenuWindow::fill(const Entries& entries)
{
    model->startList();
    for (const ServerEntry& entry : entries)
        model->addServer(entry);
    model->endList();
}

void TestMenuWindow::showWindow()
{
    controller->showAt(10, 20);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(window->isActive());
}

QStringList TestMenuWindow::texts(const QString& objectName, const char* property) const
{
    QStringList result;
    const QList<QQuickItem*> items = visibleItems(window, objectName);
    for (QQuickItem* item : items)
        result << item->property(property).toString();
    return result;
}

void TestMenuWindow::windowLoadsFromCompiledResources()
{
    for (const char* path : { ":/main.qml", ":/ServerItem.qml", ":/TextDivider.qml", ":/icons/common/check.svg",
             ":/icons/light/global.svg", ":/icons/dark/global.svg" })
        QVERIFY2(QFile::exists(QString::fromLatin1(path)), path);

    QCOMPARE(window->objectName(), QStringLiteral("vpnWindow"));
    QVERIFY(!window->isVisible());
    QCOMPARE(window->size(), QSize(299, 552));
    QVERIFY(window->flags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window->flags().testFlag(Qt::Dialog));
    QCOMPARE(window->modality(), Qt::ApplicationModal);
    QCOMPARE(window->color(), QColor(Qt::transparent));
    QCOMPARE(colorOf(item(window, QStringLiteral("frame"))), QColor(QStringLiteral("#20000000")));
    QCOMPARE(item(window, QStringLiteral("pageBackground"))->property("radius").toReal(), 14.0);
}

void TestMenuWindow::iconsHaveTheirSizeAndColour_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("check") << ":/icons/common/check.svg" << QColor(QStringLiteral("#46AAFF"));
    QTest::newRow("light globe") << ":/icons/light/global.svg" << QColor(QStringLiteral("#5B5B66"));
    QTest::newRow("dark globe") << ":/icons/dark/global.svg" << QColor(QStringLiteral("#CDCDD2"));
}

void TestMenuWindow::iconsHaveTheirSizeAndColour()
{
    QFETCH(QString, path);
    QFETCH(QColor, colour);

    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(24, 24));
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 250)
                continue;
            ++drawn;
            // Anti-aliasing may round a channel by one.
            QVERIFY(qAbs(pixel.red() - colour.red()) <= 1);
            QVERIFY(qAbs(pixel.green() - colour.green()) <= 1);
            QVERIFY(qAbs(pixel.blue() - colour.blue()) <= 1);
        }
    }
    QVERIFY(drawn > 20);
}

void TestMenuWindow::showAtMovesAndActivates()
{
    controller->showAt(40, 60);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(window->isActive());
    QCOMPARE(window->position(), QPoint(40, 60));
}

void TestMenuWindow::losingActivationHides()
{
    showWindow();
    QWindow other;
    other.resize(50, 50);
    other.show();
    other.requestActivate();

    QTRY_VERIFY(!window->isVisible());
}

void TestMenuWindow::headerFollowsIpState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QUrl>("icon");

    const QUrl globe(QStringLiteral("qrc:/icons/light/global.svg"));
    QTest::newRow("Undefined") << 0 << "" << "Undefined" << globe;
    QTest::newRow("Connecting") << 1 << "" << "Connecting..." << globe;
    QTest::newRow("Disconnecting") << 2 << "" << "Disconnecting..." << globe;
    QTest::newRow("Defined with icon") << 3 << "de" << "192.0.2.7" << QUrl(QStringLiteral("image://imgProvider/de"));
    QTest::newRow("Defined without icon") << 3 << "xx" << "192.0.2.7" << globe;
}

void TestMenuWindow::headerFollowsIpState()
{
    QFETCH(int, state);
    QFETCH(QString, code);
    QFETCH(QString, text);
    QFETCH(QUrl, icon);

    controller->setIpUndefined();
    switch (state) {
    case 1:
        controller->setIpConnecting();
        break;
    case 2:
        controller->setIpDisconnecting();
        break;
    case 3:
        controller->setIp(code, QStringLiteral("192.0.2.7"));
        break;
    }

    QCOMPARE(item(window, QStringLiteral("ipTxt"))->property("text").toString(), QStringLiteral("Current IP"));
    QQuickItem* line = item(window, QStringLiteral("currentServer"));
    QCOMPARE(line->property("text").toString(), text);
    QCOMPARE(item(line, QStringLiteral("label"))->property("text").toString(), text);
    QCOMPARE(sourceOf(item(line, QStringLiteral("icon"))), icon);
}

void TestMenuWindow::ipLineElidesInTheMiddle_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("truncated");

    QTest::newRow("IPv4") << "192.0.2.7" << false;
    QTest::newRow("full IPv6") << "2001:0db8:85a3:0000:0000:8a2e:0370:7334" << true;
}

// An address cut at its end loses the part that tells addresses apart.
void TestMenuWindow::ipLineElidesInTheMiddle()
{
    QFETCH(QString, ip);
    QFETCH(bool, truncated);
    showWindow();

    controller->setIp(QStringLiteral("de"), ip);

    QQuickItem* label = item(item(window, QStringLiteral("currentServer")), QStringLiteral("label"));
    QCOMPARE(label->property("text").toString(), ip);
    QCOMPARE(label->property("elide").toInt(), int(Qt::ElideMiddle));
    QCOMPARE(label->property("truncated").toBool(), truncated);
}

void TestMenuWindow::indicatorFollowsConnectionState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("textColour");
    QTest::addColumn<QColor>("pillColour");

    const QColor alertText(QStringLiteral("#FF6060"));
    const QColor alertPill(QStringLiteral("#33FF6060"));
    QTest::newRow("Unprotected") << 0 << "Unprotected" << alertText << alertPill;
    QTest::newRow("Protected") << 1 << "Protected" << QColor(QStringLiteral("#75DD50"))
                               << QColor(QStringLiteral("#3375DD50"));
    QTest::newRow("unknown byte") << 2 << "Unprotected" << alertText << alertPill;
}

void TestMenuWindow::indicatorFollowsConnectionState()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(QColor, textColour);
    QFETCH(QColor, pillColour);

    controller->setConnectionState(quint8(state));

    QQuickItem* pill = item(window, QStringLiteral("connectionIndicator"));
    QQuickItem* label = item(window, QStringLiteral("connectionIndicatorText"));
    QCOMPARE(label->property("text").toString(), text);
    QCOMPARE(colorOf(label), textColour);
    QCOMPARE(colorOf(pill), pillColour);
    QCOMPARE(pill->size(), QSizeF(86, 26));
    QCOMPARE(pill->property("radius").toReal(), 13.0);
}

void TestMenuWindow::sectionsGroupFreeAndPremium_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QStringList>("sections");

    QTest::newRow("free and premium")
        << Entries { { "p1", "Premium 1", 2, 1 }, { "f1", "Free 1", 0, 1 }, { "f2", "Free 2", 1, 5 } }
        << QStringList { "Free", "Premium" };
    QTest::newRow("premium only") << Entries { { "p1", "Premium 1", 2, 1 } } << QStringList { "Premium" };
    QTest::newRow("type above 2 opens a second free section")
        << Entries { { "x", "Odd", 3, 1 }, { "p1", "Premium 1", 2, 1 }, { "f1", "Free 1", 0, 1 } }
        << QStringList { "Free", "Premium", "Free" };
}

void TestMenuWindow::sectionsGroupFreeAndPremium()
{
    QFETCH(Entries, entries);
    QFETCH(QStringList, sections);
    showWindow();

    fill(entries);

    QTRY_COMPARE(texts(QStringLiteral("sectionDivider")), sections);
    QQuickItem* divider = visibleItems(window, QStringLiteral("sectionDivider")).first();
    QCOMPARE(colorOf(divider), QColor(QStringLiteral("#F1F1F3")));
    QCOMPARE(colorOf(item(divider, QStringLiteral("label"))), QColor(QStringLiteral("#B3B3BB")));
    QCOMPARE(divider->height(), 28.0);
}

void TestMenuWindow::rowsShowNameAndIcon()
{
    showWindow();
    fill({ { "us", "United States", 2, 1 }, { "de", "Germany", 0, 1 } });

    QTRY_COMPARE(texts(QStringLiteral("serverRow")), (QStringList { "Germany", "United States" }));
    const QList<QQuickItem*> rows = visibleItems(window, QStringLiteral("serverRow"));
    QCOMPARE(rows.first()->height(), 44.0);
    QCOMPARE(item(rows.first(), QStringLiteral("label"))->property("elide").toInt(), int(Qt::ElideRight));
    QQuickItem* icon = item(rows.first(), QStringLiteral("icon"));
    QCOMPARE(sourceOf(icon), QUrl(QStringLiteral("image://imgProvider/de")));
    QCOMPARE(icon->size(), QSizeF(24, 24));
    QCOMPARE(icon->property("status").toInt(), 1);
}

void TestMenuWindow::newIconShowsWithNextList()
{
    showWindow();
    const auto iconCentre = [this] {
        const QList<QQuickItem*> rows = visibleItems(window, QStringLiteral("serverRow"));
        return rows.isEmpty() ? QPoint() : centreInWindow(item(rows.first(), QStringLiteral("icon")));
    };
    context->imageProvider()->storeIcon(QStringLiteral("swap"), filled(Qt::red));
    fill({ { "swap", "Swap", 0, 1 } });
    QTRY_COMPARE(shownPixel(window, iconCentre()), QColor(Qt::red).rgb());

    context->imageProvider()->storeIcon(QStringLiteral("swap"), filled(Qt::blue));
    QCOMPARE(shownPixel(window, iconCentre()), QColor(Qt::red).rgb());
    fill({ { "swap", "Swap", 0, 1 } });

    QTRY_COMPARE(shownPixel(window, iconCentre()), QColor(Qt::blue).rgb());
}

void TestMenuWindow::checkMarkOnSelectedRowsOnly_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("checkedRows");

    QTest::newRow("nothing selected") << "" << QStringList {};
    QTest::newRow("first row") << "a" << QStringList { "A" };
    QTest::newRow("premium row") << "c" << QStringList { "C" };
    QTest::newRow("code without row") << "zz" << QStringList {};
}

void TestMenuWindow::checkMarkOnSelectedRowsOnly()
{
    QFETCH(QString, selected);
    QFETCH(QStringList, checkedRows);
    showWindow();
    fill({ { "a", "A", 0, 3 }, { "b", "B", 0, 2 }, { "c", "C", 2, 1 } });
    QTRY_COMPARE(visibleItems(window, QStringLiteral("serverRow")).size(), 3);

    model->selectServer(selected);

    QStringList checked;
    const QList<QQuickItem*> rows = visibleItems(window, QStringLiteral("serverRow"));
    for (QQuickItem* row : rows) {
        QQuickItem* mark = item(row, QStringLiteral("checkMark"));
        QCOMPARE(sourceOf(mark), QUrl(QStringLiteral("qrc:/icons/common/check.svg")));
        if (mark->isVisible())
            checked << row->property("text").toString();
    }
    QCOMPARE(checked, checkedRows);
}

void TestMenuWindow::themeSwitchesColoursAndGlobe_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("fontColour");
    QTest::addColumn<QColor>("dividerColour");
    QTest::addColumn<QUrl>("globe");

    QTest::newRow("light") << false << QColor(Qt::white) << QColor(QStringLiteral("#2B2B32"))
                           << QColor(QStringLiteral("#F1F1F3")) << QUrl(QStringLiteral("qrc:/icons/light/global.svg"));
    QTest::newRow("dark") << true << QColor(QStringLiteral("#2B2B32")) << QColor(Qt::white)
                          << QColor(QStringLiteral("#43434D")) << QUrl(QStringLiteral("qrc:/icons/dark/global.svg"));
}

void TestMenuWindow::themeSwitchesColoursAndGlobe()
{
    QFETCH(bool, dark);
    QFETCH(QColor, background);
    QFETCH(QColor, fontColour);
    QFETCH(QColor, dividerColour);
    QFETCH(QUrl, globe);
    showWindow();
    fill({ { "de", "Germany", 0, 1 } });

    if (dark)
        controller->useDarkTheme();

    QCOMPARE(colorOf(item(window, QStringLiteral("pageBackground"))), background);
    QCOMPARE(colorOf(item(window, QStringLiteral("ipTxt"))), fontColour);
    QQuickItem* line = item(window, QStringLiteral("currentServer"));
    QCOMPARE(sourceOf(item(line, QStringLiteral("icon"))), globe);
    QCOMPARE(colorOf(item(line, QStringLiteral("label"))), fontColour);
    QTRY_COMPARE(visibleItems(window, QStringLiteral("sectionDivider")).size(), 1);
    QCOMPARE(colorOf(visibleItems(window, QStringLiteral("sectionDivider")).first()), dividerColour);

    // What the user sees, once the next frame is drawn: the empty lower part
    // of the page.
    QTRY_COMPARE(shownPixel(window, QPoint(150, 520)), background.rgb());
}

void TestMenuWindow::rowClickHidesBeforeCallback()
{
    ClickRecord record;
    record.window = window;
    controller->setClickCallback(&record, &recordClick);
    showWindow();
    fill({ { "a", "A", 0, 3 }, { "b", "B", 0, 2 }, { "c", "C", 2, 1 } });
    QTRY_COMPARE(visibleItems(window, QStringLiteral("serverRow")).size(), 3);
    QQuickItem* row = visibleItems(window, QStringLiteral("serverRow")).at(1);

    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centreInWindow(row));

    QCOMPARE(record.calls, 1);
    QCOMPARE(record.context, static_cast<void*>(&record));
    QCOMPARE(QString::fromStdWString(record.code), QStringLiteral("b"));
    QVERIFY(!record.windowVisibleDuringCall);
    QVERIFY(!window->isVisible());
    QVERIFY(!model->data(model->index(1), ServerListUiModel::IsSelectedRole).toBool());
}

void TestMenuWindow::ipLineClickDoesNothing()
{
    ClickRecord record;
    record.window = window;
    controller->setClickCallback(&record, &recordClick);
    showWindow();

    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
        centreInWindow(item(window, QStringLiteral("currentServer"))));

    QCOMPARE(record.calls, 0);
    QVERIFY(window->isVisible());
}

void TestMenuWindow::iconFoundWhateverTheCode_data()
{
    QTest::addColumn<QString>("code");

    QTest::newRow("percent") << "a%b";
    QTest::newRow("percent and hex digits") << "%41";
    QTest::newRow("backslash") << "a\\b";
    QTest::newRow("slash") << "a/b";
    QTest::newRow("question mark") << "a?b";
    QTest::newRow("hash") << "a#b";
    QTest::newRow("space") << "a b";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Z\u00fcrich \u2713");
    QTest::newRow("empty") << "";
}

// Every code is a key of its own, whatever a URL would make of it.
void TestMenuWindow::iconFoundWhateverTheCode()
{
    QFETCH(QString, code);
    context->imageProvider()->storeIcon(code, filled(Qt::green));
    showWindow();

    fill({ { code, "Odd code", 0, 1 } });
    controller->setIp(code, QStringLiteral("192.0.2.7"));

    QTRY_COMPARE(visibleItems(window, QStringLiteral("serverRow")).size(), 1);
    QQuickItem* rowIcon = item(visibleItems(window, QStringLiteral("serverRow")).first(), QStringLiteral("icon"));
    QQuickItem* lineIcon = item(item(window, QStringLiteral("currentServer")), QStringLiteral("icon"));
    QCOMPARE(rowIcon->property("status").toInt(), 1);
    QCOMPARE(lineIcon->property("status").toInt(), 1);
    QTRY_COMPARE(shownPixel(window, centreInWindow(rowIcon)), QColor(Qt::green).rgb());
    QCOMPARE(shownPixel(window, centreInWindow(lineIcon)), QColor(Qt::green).rgb());
}

void TestMenuWindow::bottomCornersStayRound_data()
{
    QTest::addColumn<bool>("pressRow");

    QTest::newRow("section header at the bottom edge") << false;
    QTest::newRow("pressed row at the bottom edge") << true;
}

// Whatever lies at the bottom edge of the list, the page's bottom corners
// stay round: just inside the page, beyond the curve of its corners, shows
// what the window's very corner shows, the window's own background.
void TestMenuWindow::bottomCornersStayRound()
{
    QFETCH(bool, pressRow);
    showWindow();
    Entries entries;
    for (int i = 0; i < 10; ++i)
        entries.append({ QStringLiteral("f%1").arg(i), QStringLiteral("Free %1").arg(i), 0, i });
    entries.append({ QStringLiteral("p"), QStringLiteral("Premium"), 2, 1 });
    fill(entries);
    QQuickItem* list = item(window, QStringLiteral("serverList"));
    QTRY_COMPARE(texts(QStringLiteral("sectionDivider")), (QStringList { "Free", "Premium" }));

    QSignalSpy frames(window, &QQuickWindow::frameSwapped);
    QQuickItem* bottomItem = nullptr;
    if (pressRow) {
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        bottomItem = visibleItems(window, QStringLiteral("serverRow")).constLast();
    } else {
        bottomItem = visibleItems(window, QStringLiteral("sectionDivider")).constLast();
        list->setProperty("contentY", bottomItem->y() + bottomItem->height() - list->height());
    }
    QCOMPARE(bottomItem->mapToScene(QPointF(0, bottomItem->height())), list->mapToScene(QPointF(0, list->height())));
    QTRY_VERIFY(!frames.isEmpty());
    if (pressRow) {
        frames.clear();
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreInWindow(bottomItem));
        QTRY_VERIFY(!frames.isEmpty());
    }
    const QImage shot = window->screen()->grabWindow(window->winId()).toImage();
    if (pressRow)
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, centreInWindow(bottomItem));

    // The page spans 1 to 295 across and 1 to 548 down.
    const QRgb windowBackground = shot.pixel(0, window->height() - 1);
    QCOMPARE(shot.pixel(2, 548), windowBackground);
    QCOMPARE(shot.pixel(295, 548), windowBackground);
}

QTEST_MAIN(TestMenuWindow)
#include "tst_MenuWindow.moc"
