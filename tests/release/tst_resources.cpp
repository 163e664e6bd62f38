// The icon and pointer files as the program reads them: through Qt's resource system and
// image plugins.

#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTest>

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void embeddedIcon_data();
    void embeddedIcon();
    void iconFileImages();
    void handPointerLoads();
};

void TestResources::embeddedIcon_data() {
    QTest::addColumn<int>("size");
    for (int size : {32, 48, 128, 256})
        QTest::addRow("%d", size) << size;
}

// The windows take their icon from these paths; a missing or mis-sized one would leave a
// blank or blurry icon without any error.
void TestResources::embeddedIcon() {
    QFETCH(int, size);
    const QImage image(QStringLiteral(":/icons/nimbrel-%1.png").arg(size));
    QVERIFY2(!image.isNull(), "not in the resources");
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
}

void TestResources::iconFileImages() {
    QImageReader reader(QStringLiteral(NIMBREL_RESOURCES_DIR "/nimbrel.ico"));
    QCOMPARE(reader.imageCount(), 4);
    QList<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        sizes << image.width();
    }
    QCOMPARE(sizes, QList<int>({32, 48, 128, 256}));
}

void TestResources::handPointerLoads() {
    const QPixmap pointer(QStringLiteral(NIMBREL_RESOURCES_DIR "/HAND-M.CUR"));
    QVERIFY(!pointer.isNull());
    QCOMPARE(pointer.size(), QSize(32, 32));
    QVERIFY(pointer.hasAlphaChannel());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
