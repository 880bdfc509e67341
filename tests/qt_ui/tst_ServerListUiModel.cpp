#include "ServerListUiModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

using Entries = QVector<ServerEntry>;

QStringList codesInOrder(const ServerListUiModel& model)
{
    QStringList codes;
    for (int row = 0; row < model.rowCount(); ++row)
        codes << model.data(model.index(row), ServerListUiModel::CodeRole).toString();
    return codes;
}

QStringList selectedCodes(const ServerListUiModel& model)
{
    QStringList codes;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        if (model.data(index, ServerListUiModel::IsSelectedRole).toBool())
            codes << model.data(index, ServerListUiModel::CodeRole).toString();
    }
    return codes;
}

} // namespace

Q_DECLARE_METATYPE(Entries)

class TestServerListUiModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void batchSortsRows_data();
    void batchSortsRows();
    void rolesOfOneRow_data();
    void rolesOfOneRow();
    void invalidRowsAndRolesGiveNothing_data();
    void invalidRowsAndRolesGiveNothing();
    void roleNamesAreExactlyTheFive();
    void emptyBatchKeepsSelection();
    void newBatchReplacesRows();
    void selection_data();
    void selection();
    void selectionSignalsOnlyTheSelectedRole();
    void selectionOfEmptyListOnlyStoresCode();
    void addOutsideBatchTellsTheViews();
    void secondStartStaysInOneReset();
    void endWithoutStartStillResets();

private:
    void fill(const Entries& entries);

    std::unique_ptr<ServerListUiModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

void TestServerListUiModel::init()
{
    model = std::make_unique<ServerListUiModel>();
    tester = std::make_unique<QAbstractItemModelTester>(
        model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TestServerListUiModel::cleanup()
{
    tester.reset();
    model.reset();
}

void TestServerListUiModel::fill(const Entries& entries)
{
    model->startList();
    for (const ServerEntry& entry : entries)
        model->addServer(entry);
    model->endList();
}

void TestServerListUiModel::batchSortsRows_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QStringList>("expectedOrder");

    QTest::newRow("free before premium")
        << Entries { { "p", "P", 2, 9 }, { "f", "F", 0, 1 } } << QStringList { "f", "p" };
    QTest::newRow("higher priority first within a type")
        << Entries { { "a", "A", 0, 1 }, { "b", "B", 0, 5 }, { "c", "C", 0, 3 } }
        << QStringList { "b", "c", "a" };
    QTest::newRow("type 0 before type 1, both before premium")
        << Entries { { "p", "P", 2, 0 }, { "one", "1", 1, 100 }, { "zero", "0", 0, -5 } }
        << QStringList { "zero", "one", "p" };
    QTest::newRow("type above 2 sorts after premium")
        << Entries { { "x", "X", 3, 50 }, { "p", "P", 2, 1 }, { "f", "F", 0, 1 } }
        << QStringList { "f", "p", "x" };
    QTest::newRow("negative priorities compare signed")
        << Entries { { "neg", "N", 2, -10 }, { "pos", "P", 2, 10 }, { "zero", "Z", 2, 0 } }
        << QStringList { "pos", "zero", "neg" };
    QTest::newRow("negative type sorts first")
        << Entries { { "f", "F", 0, 1 }, { "m", "M", -1, 1 } } << QStringList { "m", "f" };
}

void TestServerListUiModel::batchSortsRows()
{
    QFETCH(Entries, entries);
    QFETCH(QStringList, expectedOrder);
    QSignalSpy aboutToReset(model.get(), &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(model.get(), &QAbstractItemModel::modelReset);

    fill(entries);

    QCOMPARE(codesInOrder(*model), expectedOrder);
    QCOMPARE(aboutToReset.count(), 1);
    QCOMPARE(reset.count(), 1);
}

void TestServerListUiModel::rolesOfOneRow_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("code") << 0 << 0 << QVariant(QStringLiteral("de-1"));
    QTest::newRow("name") << 0 << 1 << QVariant(QStringLiteral("Germany"));
    QTest::newRow("type 0 is free") << 0 << 2 << QVariant(QStringLiteral("free"));
    QTest::newRow("type 1 is free") << 1 << 2 << QVariant(QStringLiteral("free"));
    QTest::newRow("type 2 is premium") << 2 << 2 << QVariant(QStringLiteral("premium"));
    QTest::newRow("type 3 is free") << 3 << 2 << QVariant(QStringLiteral("free"));
    QTest::newRow("priority") << 0 << 3 << QVariant(7);
    QTest::newRow("not selected") << 0 << 4 << QVariant(false);
}

void TestServerListUiModel::rolesOfOneRow()
{
    QFETCH(int, type);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    fill({ { QStringLiteral("de-1"), QStringLiteral("Germany"), type, 7 } });

    const QVariant value = model->data(model->index(0), role);
    QCOMPARE(value.userType(), expected.userType());
    QCOMPARE(value, expected);
}

void TestServerListUiModel::invalidRowsAndRolesGiveNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");

    QTest::newRow("row -1") << -1 << 0;
    QTest::newRow("row past the end") << 2 << 0;
    QTest::newRow("role 5") << 0 << 5;
    QTest::newRow("role -1") << 0 << -1;
    QTest::newRow("Qt::UserRole") << 0 << int(Qt::UserRole);
}

void TestServerListUiModel::invalidRowsAndRolesGiveNothing()
{
    QFETCH(int, row);
    QFETCH(int, role);
    fill({ { "a", "A", 0, 3 }, { "b", "B", 0, 2 }, { "c", "C", 0, 1 } });
    // An index kept across a shorter list is how a view would ask for a row
    // that no longer exists.
    const QModelIndex index = row >= 0 ? model->index(row) : QModelIndex();
    fill({ { "a", "A", 0, 3 }, { "b", "B", 0, 2 } });

    QCOMPARE(index.row(), row);
    QVERIFY(!model->data(index, role).isValid());
}

void TestServerListUiModel::roleNamesAreExactlyTheFive()
{
    const QHash<int, QByteArray> expected {
        { 0, "code" }, { 1, "name" }, { 2, "type" }, { 3, "priority" }, { 4, "isSelected" },
    };
    QCOMPARE(model->roleNames(), expected);
}

void TestServerListUiModel::emptyBatchKeepsSelection()
{
    model->selectServer(QStringLiteral("b"));
    fill({});
    QCOMPARE(model->rowCount(), 0);

    fill({ { "a", "A", 0, 1 }, { "b", "B", 0, 0 } });
    QCOMPARE(selectedCodes(*model), QStringList { "b" });
}

void TestServerListUiModel::newBatchReplacesRows()
{
    fill({ { "a", "A", 0, 1 }, { "b", "B", 0, 0 } });
    fill({ { "c", "C", 2, 1 } });
    QCOMPARE(codesInOrder(*model), QStringList { "c" });
}

void TestServerListUiModel::selection_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<bool>("selectBeforeList");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("expectedSelected");

    const Entries entries { { "a", "A", 0, 3 }, { "b", "B", 0, 2 }, { "c", "C", 2, 1 } };
    QTest::newRow("after the list") << entries << false << "b" << QStringList { "b" };
    QTest::newRow("before the list") << entries << true << "c" << QStringList { "c" };
    QTest::newRow("unknown code") << entries << false << "zz" << QStringList {};
    QTest::newRow("case matters") << entries << false << "B" << QStringList {};
    QTest::newRow("two rows with one code")
        << Entries { { "a", "A", 0, 2 }, { "a", "A premium", 2, 1 }, { "b", "B", 0, 1 } } << false << "a"
        << QStringList { "a", "a" };
    QTest::newRow("empty code selects nothing") << entries << false << "" << QStringList {};
}

void TestServerListUiModel::selection()
{
    QFETCH(Entries, entries);
    QFETCH(bool, selectBeforeList);
    QFETCH(QString, code);
    QFETCH(QStringList, expectedSelected);

    if (selectBeforeList)
        model->selectServer(code);
    fill(entries);
    if (!selectBeforeList)
        model->selectServer(code);

    QCOMPARE(selectedCodes(*model), expectedSelected);
}

void TestServerListUiModel::selectionSignalsOnlyTheSelectedRole()
{
    fill({ { "a", "A", 0, 3 }, { "b", "B", 0, 2 }, { "c", "C", 2, 1 } });
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    model->selectServer(QStringLiteral("c"));

    QCOMPARE(changed.count(), 1);
    const QList<QVariant> arguments = changed.takeFirst();
    QCOMPARE(arguments.at(0).toModelIndex(), model->index(0));
    QCOMPARE(arguments.at(1).toModelIndex(), model->index(2));
    QCOMPARE(arguments.at(2).value<QVector<int>>(), QVector<int> { ServerListUiModel::IsSelectedRole });
}

void TestServerListUiModel::selectionOfEmptyListOnlyStoresCode()
{
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->selectServer(QStringLiteral("b"));
    QCOMPARE(changed.count(), 0);

    fill({ { "a", "A", 0, 1 }, { "b", "B", 0, 0 } });
    QCOMPARE(selectedCodes(*model), QStringList { "b" });
}

void TestServerListUiModel::addOutsideBatchTellsTheViews()
{
    fill({ { "a", "A", 0, 1 } });
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);

    model->addServer({ "late", "Late", 2, 1 });

    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 1);
    QCOMPARE(inserted.first().at(2).toInt(), 1);
    QCOMPARE(codesInOrder(*model), (QStringList { "a", "late" }));
}

void TestServerListUiModel::secondStartStaysInOneReset()
{
    QSignalSpy aboutToReset(model.get(), &QAbstractItemModel::modelAboutToBeReset);
    model->startList();
    model->addServer({ "a", "A", 0, 1 });
    model->startList();
    model->addServer({ "b", "B", 0, 1 });
    model->endList();

    QCOMPARE(aboutToReset.count(), 1);
    QCOMPARE(codesInOrder(*model), QStringList { "b" });
}

void TestServerListUiModel::endWithoutStartStillResets()
{
    fill({ { "a", "A", 0, 1 } });
    model->addServer({ "b", "B", 0, 9 });
    QSignalSpy aboutToReset(model.get(), &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(model.get(), &QAbstractItemModel::modelReset);

    model->endList();

    QCOMPARE(aboutToReset.count(), 1);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(codesInOrder(*model), (QStringList { "b", "a" }));
}

QTEST_GUILESS_MAIN(TestServerListUiModel)
#include "tst_ServerListUiModel.moc"
