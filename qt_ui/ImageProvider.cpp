#include "ImageProvider.h"

#include <QUrl>

ImageProvider::ImageProvider(QObject* parent)
    : QObject(parent)
    , QQuickImageProvider(QQmlImageProviderBase::Image)
{
}

// The window puts the code into the image URL percent-encoded, since a code
// may hold characters that a URL reads as its own. The id arrives partly
// decoded again, but a percent sign always still encoded, so decoding the
// rest gives the code exactly.
QImage ImageProvider::requestImage(const QString& id, QSize*, const QSize&)
{
    return iconImages.value(QUrl::fromPercentEncoding(id.toUtf8()));
}

bool ImageProvider::hasIcon(const QString& iconName) const
{
    return iconImages.contains(iconName);
}

void ImageProvider::storeIcon(const QString& code, const QImage& image)
{
    iconImages.insert(code, image);
}
