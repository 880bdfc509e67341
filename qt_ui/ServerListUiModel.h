#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QVector>

struct ServerEntry
{
    QString code;
    QString name;
    int type = 0;
    int priority = 0;
};

class ServerListUiModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        CodeRole = 0,
        NameRole = 1,
        TypeRole = 2,
        PriorityRole = 3,
        IsSelectedRole = 4,
    };

    static constexpr int PremiumType = 2;

    explicit ServerListUiModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void startList();
    void addServer(const ServerEntry& entry);
    void endList();
    void selectServer(const QString& code);

private:
    void sortItems();

    QVector<ServerEntry> items;
    QString selectedCode;
    bool resetting = false;
};
