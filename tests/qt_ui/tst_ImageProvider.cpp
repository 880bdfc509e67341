#include "ImageProvider.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

namespace {

QImage filled(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage decoded(const QByteArray& bytes)
{
    QImage image;
    image.loadFromData(bytes);
    return image;
}

} // namespace

class TestImageProvider : public QObject
{
    Q_OBJECT

private slots:
    void servesStoredImageUnscaled();
    void secondIconReplacesFirst();
    void unknownCodeGivesNullImage();
    void codesAreCaseSensitive();
    void requestedIdIsPercentDecoded_data();
    void requestedIdIsPercentDecoded();
    void decodesByContent_data();
    void decodesByContent();
    void undecodableBytesStillCount();
    void isAnImageProvider();
};

void TestImageProvider::servesStoredImageUnscaled()
{
    ImageProvider provider;
    provider.storeIcon(QStringLiteral("de"), filled(32, 20, Qt::red));

    QSize size(-7, -7);
    const QImage image = provider.requestImage(QStringLiteral("de"), &size, QSize(24, 24));

    QCOMPARE(image.size(), QSize(32, 20));
    QCOMPARE(image.pixelColor(5, 5), QColor(Qt::red));
    QCOMPARE(size, QSize(-7, -7));
}

void TestImageProvider::secondIconReplacesFirst()
{
    ImageProvider provider;
    provider.storeIcon(QStringLiteral("de"), filled(8, 8, Qt::red));
    provider.storeIcon(QStringLiteral("de"), filled(8, 8, Qt::blue));

    const QImage image = provider.requestImage(QStringLiteral("de"), nullptr, QSize());
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::blue));
}

void TestImageProvider::unknownCodeGivesNullImage()
{
    ImageProvider provider;
    provider.storeIcon(QStringLiteral("de"), filled(8, 8, Qt::red));

    QVERIFY(!provider.hasIcon(QStringLiteral("fr")));
    QVERIFY(provider.requestImage(QStringLiteral("fr"), nullptr, QSize()).isNull());
}

void TestImageProvider::codesAreCaseSensitive()
{
    ImageProvider provider;
    provider.storeIcon(QStringLiteral("de"), filled(8, 8, Qt::red));

    QVERIFY(provider.hasIcon(QStringLiteral("de")));
    QVERIFY(!provider.hasIcon(QStringLiteral("DE")));
}

void TestImageProvider::requestedIdIsPercentDecoded_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("code");

    QTest::newRow("plain") << "de" << "de";
    QTest::newRow("percent") << "a%25b" << "a%b";
    QTest::newRow("percent before hex digits") << "%2541" << "%41";
    QTest::newRow("backslash") << "a%5Cb" << "a\\b";
    QTest::newRow("decoded by the URL already") << "a b" << "a b";
    QTest::newRow("UTF-8") << "Z%C3%BCrich" << QString::fromUtf8("Z\u00fcrich");
}

void TestImageProvider::requestedIdIsPercentDecoded()
{
    QFETCH(QString, id);
    QFETCH(QString, code);
    ImageProvider provider;
    provider.storeIcon(code, filled(8, 8, Qt::red));

    QCOMPARE(provider.requestImage(id, nullptr, QSize()).pixelColor(0, 0), QColor(Qt::red));
}

void TestImageProvider::decodesByContent_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("png") << encoded(filled(6, 4, Qt::green), "PNG");
    QTest::newRow("bmp") << encoded(filled(6, 4, Qt::green), "BMP");
    QTest::newRow("svg") << QByteArray(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"6\" height=\"4\">"
        "<rect width=\"6\" height=\"4\" fill=\"#00ff00\"/></svg>");
}

void TestImageProvider::decodesByContent()
{
    QFETCH(QByteArray, bytes);
    ImageProvider provider;

    provider.storeIcon(QStringLiteral("x"), decoded(bytes));

    const QImage image = provider.requestImage(QStringLiteral("x"), nullptr, QSize());
    QCOMPARE(image.size(), QSize(6, 4));
    QCOMPARE(image.pixelColor(3, 2).rgb(), QColor(Qt::green).rgb());
}

void TestImageProvider::undecodableBytesStillCount()
{
    ImageProvider provider;
    const QImage image = decoded(QByteArrayLiteral("certainly not an image"));
    QVERIFY(image.isNull());

    provider.storeIcon(QStringLiteral("bad"), image);

    QVERIFY(provider.hasIcon(QStringLiteral("bad")));
    QVERIFY(provider.requestImage(QStringLiteral("bad"), nullptr, QSize()).isNull());
}

void TestImageProvider::isAnImageProvider()
{
    ImageProvider provider;
    QCOMPARE(provider.imageType(), QQmlImageProviderBase::Image);
    QCOMPARE(provider.flags(), QQmlImageProviderBase::Flags());
    QVERIFY(provider.metaObject()->indexOfMethod("hasIcon(QString)") >= 0);
}

QTEST_MAIN(TestImageProvider)
#include "tst_ImageProvider.moc"
