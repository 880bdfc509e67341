#pragma once

#include <QImage>
#include <QMap>
#include <QObject>
#include <QQuickImageProvider>
#include <QString>

// Serves the host's server icons to the window and tells it which codes have
// one. Only the UI thread touches it: the window's images load synchronously.
class ImageProvider : public QObject, public QQuickImageProvider
{
    Q_OBJECT

public:
    explicit ImageProvider(QObject* parent = nullptr);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    Q_INVOKABLE bool hasIcon(const QString& iconName) const;

    void storeIcon(const QString& code, const QImage& image);

private:
    QMap<QString, QImage> iconImages;
};
