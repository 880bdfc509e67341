#include "ServerListUiModel.h"

#include <algorithm>

ServerListUiModel::ServerListUiModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

int ServerListUiModel::rowCount(const QModelIndex& parent) const
{
    // A flat list: rows exist only under the root, or item views would
    // recurse into every row looking for children.
    return parent.isValid() ? 0 : items.size();
}

QVariant ServerListUiModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (row < 0 || row >= items.size())
        return QVariant();

    const ServerEntry& entry = items.at(row);
    switch (role) {
    case CodeRole:
        return entry.code;
    case NameRole:
        return entry.name;
    case TypeRole:
        return entry.type == PremiumType ? QStringLiteral("premium") : QStringLiteral("free");
    case PriorityRole:
        return entry.priority;
    case IsSelectedRole:
        return entry.code == selectedCode;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ServerListUiModel::roleNames() const
{
    static const QHash<int, QByteArray> names {
        { CodeRole, QByteArrayLiteral("code") },
        { NameRole, QByteArrayLiteral("name") },
        { TypeRole, QByteArrayLiteral("type") },
        { PriorityRole, QByteArrayLiteral("priority") },
        { IsSelectedRole, QByteArrayLiteral("isSelected") },
    };
    return names;
}

void ServerListUiModel::startList()
{
    // A second start before the end stays inside the reset already begun.
    if (!resetting) {
        beginResetModel();
        resetting = true;
    }
    items.clear();
}

void ServerListUiModel::addServer(const ServerEntry& entry)
{
    if (resetting) {
        items.append(entry);
        return;
    }
    // Outside a reset the views must hear of the new row, or they would
    // read rows they were never told about.
    const int row = items.size();
    beginInsertRows(QModelIndex(), row, row);
    items.append(entry);
    endInsertRows();
}

void ServerListUiModel::endList()
{
    if (!resetting)
        beginResetModel();
    sortItems();
    resetting = false;
    endResetModel();
}

void ServerListUiModel::selectServer(const QString& code)
{
    selectedCode = code;
    if (items.isEmpty())
        return;
    emit dataChanged(index(0), index(items.size() - 1), { IsSelectedRole });
}

void ServerListUiModel::sortItems()
{
    std::sort(items.begin(), items.end(), [](const ServerEntry& a, const ServerEntry& b) {
        if (a.type != b.type)
            return a.type < b.type;
        return a.priority > b.priority;
    });
}
