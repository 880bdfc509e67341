#include "VpnMenuController.h"

#include <QAbstractItemModelTester>
#include <QMetaEnum>
#include <QOperatingSystemVersion>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <string>

namespace {

using State = VpnMenuController::GlobalIpState;

struct ClickRecord
{
    int calls = 0;
    void* context = nullptr;
    std::wstring code;
};

void recordClick(void* context, const wchar_t* serverCode)
{
    auto* record = static_cast<ClickRecord*>(context);
    ++record->calls;
    record->context = context;
    record->code = serverCode;
}

void otherRecordClick(void* context, const wchar_t*)
{
    static_cast<ClickRecord*>(context)->calls += 100;
}

// One step of a script run against the controller.
enum class Step { SetIpA1, SetIpA2, SetIpB1, Undefined, Connecting, Disconnecting };

void apply(VpnMenuController& controller, Step step)
{
    switch (step) {
    case Step::SetIpA1:
        controller.setIp(QStringLiteral("a"), QStringLiteral("10.0.0.1"));
        break;
    case Step::SetIpA2:
        controller.setIp(QStringLiteral("a"), QStringLiteral("10.0.0.2"));
        break;
    case Step::SetIpB1:
        controller.setIp(QStringLiteral("b"), QStringLiteral("10.0.0.1"));
        break;
    case Step::Undefined:
        controller.setIpUndefined();
        break;
    case Step::Connecting:
        controller.setIpConnecting();
        break;
    case Step::Disconnecting:
        controller.setIpDisconnecting();
        break;
    }
}

} // namespace

using Steps = QVector<Step>;
Q_DECLARE_METATYPE(Steps)

class TestVpnMenuController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsConnectingAndUnprotected();
    void enumerationsReachQml_data();
    void enumerationsReachQml();
    void ipSignalsOnlyOnChange_data();
    void ipSignalsOnlyOnChange();
    void connectionStateSignalsOnlyOnChange_data();
    void connectionStateSignalsOnlyOnChange();
    void showAndThemeOnlySignal();
    void clickWithoutCallbackDoesNothing();
    void clickReachesLatestCallback();
    void clickLeavesStateAlone();
    void transparencyOffWindows7IsOn();
    void modelRequestsReachTheModel();

private:
    std::unique_ptr<VpnMenuController> controller;
};

void TestVpnMenuController::init()
{
    controller = std::make_unique<VpnMenuController>();
}

void TestVpnMenuController::cleanup()
{
    controller.reset();
}

void TestVpnMenuController::startsConnectingAndUnprotected()
{
    QCOMPARE(controller->globalIpState(), int(State::Connecting));
    QCOMPARE(controller->vpnConnectionState(), int(VpnMenuController::VpnConnectionState::Unprotected));
    QVERIFY(controller->serverCode().isEmpty());
    QVERIFY(controller->globalIp().isEmpty());
    QVERIFY(controller->serverListModel());
    QCOMPARE(controller->serverListModel()->rowCount(), 0);
}

void TestVpnMenuController::enumerationsReachQml_data()
{
    QTest::addColumn<QByteArray>("enumeration");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("value");

    QTest::newRow("Undefined") << QByteArray("GlobalIpState") << QByteArray("Undefined") << 0;
    QTest::newRow("Connecting") << QByteArray("GlobalIpState") << QByteArray("Connecting") << 1;
    QTest::newRow("Disconnecting") << QByteArray("GlobalIpState") << QByteArray("Disconnecting") << 2;
    QTest::newRow("Defined") << QByteArray("GlobalIpState") << QByteArray("Defined") << 3;
    QTest::newRow("Unprotected") << QByteArray("VpnConnectionState") << QByteArray("Unprotected") << 0;
    QTest::newRow("Protected") << QByteArray("VpnConnectionState") << QByteArray("Protected") << 1;
}

void TestVpnMenuController::enumerationsReachQml()
{
    QFETCH(QByteArray, enumeration);
    QFETCH(QByteArray, key);
    QFETCH(int, value);

    const QMetaObject& meta = VpnMenuController::staticMetaObject;
    const int index = meta.indexOfEnumerator(enumeration.constData());
    QVERIFY(index >= 0);
    const QMetaEnum metaEnum = meta.enumerator(index);
    QVERIFY(metaEnum.isScoped());
    QCOMPARE(metaEnum.keyToValue(key.constData()), value);
}

void TestVpnMenuController::ipSignalsOnlyOnChange_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<int>("codeSignals");
    QTest::addColumn<int>("ipSignals");
    QTest::addColumn<int>("stateSignals");
    QTest::addColumn<int>("finalState");

    QTest::newRow("first IP") << Steps { Step::SetIpA1 } << 1 << 1 << 1 << int(State::Defined);
    QTest::newRow("same IP twice") << Steps { Step::SetIpA1, Step::SetIpA1 } << 1 << 1 << 1 << int(State::Defined);
    QTest::newRow("new IP, same code") << Steps { Step::SetIpA1, Step::SetIpA2 } << 1 << 2 << 1 << int(State::Defined);
    QTest::newRow("new code, same IP") << Steps { Step::SetIpA1, Step::SetIpB1 } << 2 << 1 << 1 << int(State::Defined);
    QTest::newRow("same IP after a state change")
        << Steps { Step::SetIpA1, Step::Disconnecting, Step::SetIpA1 } << 1 << 1 << 3 << int(State::Defined);
    QTest::newRow("Connecting held already") << Steps { Step::Connecting } << 0 << 0 << 0 << int(State::Connecting);
    QTest::newRow("Undefined") << Steps { Step::Undefined } << 0 << 0 << 1 << int(State::Undefined);
    QTest::newRow("Undefined twice") << Steps { Step::Undefined, Step::Undefined } << 0 << 0 << 1 << int(State::Undefined);
    QTest::newRow("Disconnecting") << Steps { Step::Disconnecting } << 0 << 0 << 1 << int(State::Disconnecting);
    QTest::newRow("Defined then Connecting") << Steps { Step::SetIpA1, Step::Connecting } << 1 << 1 << 2 << int(State::Connecting);
}

void TestVpnMenuController::ipSignalsOnlyOnChange()
{
    QFETCH(Steps, steps);
    QFETCH(int, codeSignals);
    QFETCH(int, ipSignals);
    QFETCH(int, stateSignals);
    QFETCH(int, finalState);
    QSignalSpy codeSpy(controller.get(), &VpnMenuController::serverCodeChanged);
    QSignalSpy ipSpy(controller.get(), &VpnMenuController::globalIpChanged);
    QSignalSpy stateSpy(controller.get(), &VpnMenuController::globalIpStateChanged);

    for (Step step : steps)
        apply(*controller, step);

    QCOMPARE(codeSpy.count(), codeSignals);
    QCOMPARE(ipSpy.count(), ipSignals);
    QCOMPARE(stateSpy.count(), stateSignals);
    QCOMPARE(controller->globalIpState(), finalState);
    QCOMPARE(controller->property("globalIpState").toInt(), finalState);
}

void TestVpnMenuController::connectionStateSignalsOnlyOnChange_data()
{
    QTest::addColumn<QVector<int>>("bytes");
    QTest::addColumn<int>("signalCount");
    QTest::addColumn<int>("finalState");

    QTest::newRow("unprotected is held already") << QVector<int> { 0 } << 0 << 0;
    QTest::newRow("protected") << QVector<int> { 1 } << 1 << 1;
    QTest::newRow("protected twice") << QVector<int> { 1, 1 } << 1 << 1;
    QTest::newRow("protected and back") << QVector<int> { 1, 0 } << 2 << 0;
    QTest::newRow("other byte stored as is") << QVector<int> { 7 } << 1 << 7;
    QTest::newRow("top byte value") << QVector<int> { 255 } << 1 << 255;
}

void TestVpnMenuController::connectionStateSignalsOnlyOnChange()
{
    QFETCH(QVector<int>, bytes);
    QFETCH(int, signalCount);
    QFETCH(int, finalState);
    QSignalSpy spy(controller.get(), &VpnMenuController::vpnConnectionStateChanged);

    for (int byte : bytes)
        controller->setConnectionState(quint8(byte));

    QCOMPARE(spy.count(), signalCount);
    QCOMPARE(controller->vpnConnectionState(), finalState);
}

void TestVpnMenuController::showAndThemeOnlySignal()
{
    QSignalSpy show(controller.get(), &VpnMenuController::showVpnUi);
    QSignalSpy light(controller.get(), &VpnMenuController::setLightTheme);
    QSignalSpy dark(controller.get(), &VpnMenuController::setDarkTheme);

    controller->showAt(120, -40);
    controller->useDarkTheme();
    controller->useDarkTheme();
    controller->useLightTheme();

    QCOMPARE(show.count(), 1);
    QCOMPARE(show.first().at(0).toInt(), 120);
    QCOMPARE(show.first().at(1).toInt(), -40);
    QCOMPARE(dark.count(), 2);
    QCOMPARE(light.count(), 1);
}

void TestVpnMenuController::clickWithoutCallbackDoesNothing()
{
    ClickRecord record;
    controller->serverClicked(QStringLiteral("de-1"));
    controller->setClickCallback(&record, nullptr);
    controller->serverClicked(QStringLiteral("de-1"));
    QCOMPARE(record.calls, 0);
}

void TestVpnMenuController::clickReachesLatestCallback()
{
    ClickRecord first;
    ClickRecord second;
    controller->setClickCallback(&first, &otherRecordClick);
    controller->setClickCallback(&second, &recordClick);

    controller->serverClicked(QStringLiteral("fr-\u00e9t\u00e9"));

    QCOMPARE(first.calls, 0);
    QCOMPARE(second.calls, 1);
    QCOMPARE(second.context, static_cast<void*>(&second));
    QCOMPARE(QString::fromStdWString(second.code), QStringLiteral("fr-\u00e9t\u00e9"));
}

void TestVpnMenuController::clickLeavesStateAlone()
{
    ClickRecord record;
    controller->setClickCallback(&record, &recordClick);
    controller->setIp(QStringLiteral("a"), QStringLiteral("1.2.3.4"));
    QSignalSpy codeSpy(controller.get(), &VpnMenuController::serverCodeChanged);
    QSignalSpy stateSpy(controller.get(), &VpnMenuController::globalIpStateChanged);

    controller->serverClicked(QStringLiteral("b"));

    QCOMPARE(record.calls, 1);
    QCOMPARE(controller->serverCode(), QStringLiteral("a"));
    QCOMPARE(codeSpy.count(), 0);
    QCOMPARE(stateSpy.count(), 0);
}

void TestVpnMenuController::transparencyOffWindows7IsOn()
{
#ifdef Q_OS_WIN
    if (QOperatingSystemVersion::current().majorVersion() == 6 && QOperatingSystemVersion::current().minorVersion() == 1)
        QSKIP("Windows 7 decides by desktop composition");
#endif
    QVERIFY(controller->transparencyEnabled());
    QVERIFY(controller->property("transparencyEnabled").toBool());
}

void TestVpnMenuController::modelRequestsReachTheModel()
{
    ServerListUiModel* model = controller->serverListModel();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

    controller->startServerList();
    controller->addServer({ QStringLiteral("p"), QStringLiteral("P"), 2, 1 });
    controller->addServer({ QStringLiteral("f"), QStringLiteral("F"), 0, 1 });
    controller->endServerList();
    controller->selectServer(QStringLiteral("p"));

    QCOMPARE(reset.count(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(controller->property("serverListModel").value<ServerListUiModel*>(), model);
    QCOMPARE(model->data(model->index(0), ServerListUiModel::CodeRole).toString(), QStringLiteral("f"));
    QVERIFY(model->data(model->index(1), ServerListUiModel::IsSelectedRole).toBool());
}

QTEST_GUILESS_MAIN(TestVpnMenuController)
#include "tst_VpnMenuController.moc"
