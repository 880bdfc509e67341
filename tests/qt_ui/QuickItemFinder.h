#pragma once

#include <QList>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>

#include <algorithm>

// Looks up items of the menu window by object name through the visual tree,
// which also reaches list delegates, page headers and button indicators.
namespace QuickItemFinder {

inline void collect(QQuickItem* item, const QString& name, QList<QQuickItem*>& found)
{
    if (item->objectName() == name)
        found << item;
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children)
        collect(child, name, found);
}

// Visible items only, top to bottom as the user sees them.
inline QList<QQuickItem*> visibleItems(QQuickItem* root, const QString& name)
{
    QList<QQuickItem*> found;
    collect(root, name, found);
    found.erase(std::remove_if(found.begin(), found.end(), [](QQuickItem* item) { return !item->isVisible(); }),
        found.end());
    std::sort(found.begin(), found.end(), [](QQuickItem* a, QQuickItem* b) {
        return a->mapToScene(QPointF()).y() < b->mapToScene(QPointF()).y();
    });
    return found;
}

inline QList<QQuickItem*> visibleItems(QQuickWindow* window, const QString& name)
{
    return visibleItems(window->contentItem(), name);
}

inline QQuickItem* item(QQuickItem* root, const QString& name)
{
    QList<QQuickItem*> found;
    collect(root, name, found);
    return found.value(0);
}

inline QQuickItem* item(QQuickWindow* window, const QString& name)
{
    return item(window->contentItem(), name);
}

inline QPoint centreInWindow(QQuickItem* item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

} // namespace QuickItemFinder
