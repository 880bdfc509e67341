#include "ImageProvider.h"

ImageProvider::ImageProvider(QObject* parent)
    : QObject(parent)
    , QQuickImageProvider(QQmlImageProviderBase::Image)
{
}

QImage ImageProvider::requestImage(const QString& id, QSize*, const QSize&)
{
    return iconImages.value(id);
}

bool ImageProvider::hasIcon(const QString& iconName) const
{
    return iconImages.contains(iconName);
}

void ImageProvider::storeIcon(const QString& code, const QImage& image)
{
    iconImages.insert(code, image);
}
