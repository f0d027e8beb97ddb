// The toolbar whose images come from strips.
#include "widgets/ImageToolBar.h"

#include <QAction>
#include <QIcon>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A strip of `count` 32 x 32 images: image i a square of its own colour on the
// transparent colour, which fills the bottom-left corner.
QImage strip(int count, int shade, const QColor &transparent) {
    QImage image(32 * count, 32, QImage::Format_RGB888);
    image.fill(transparent);
    for (int i = 0; i < count; ++i) {
        for (int y = 8; y < 24; ++y) {
            for (int x = 8; x < 24; ++x)
                image.setPixelColor(32 * i + x, y, QColor(20 * i, shade, 100));
        }
    }
    return image;
}

QImage pixelsOf(const QIcon &icon, QIcon::Mode mode) {
    return icon.pixmap(QSize(32, 32), mode).toImage().convertToFormat(QImage::Format_ARGB32);
}
} // namespace

class TestImageToolBar : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_normal;
    QString m_hot;

private slots:
    void initTestCase() {
        m_normal = m_dir.filePath("normal.bmp");
        m_hot = m_dir.filePath("hot.bmp");
        QVERIFY(strip(3, 50, QColor(192, 192, 192)).save(m_normal));
        QVERIFY(strip(3, 200, QColor(255, 0, 255)).save(m_hot));
    }

    // The missing disabled strip fails the call; normal and hot are set all the same.
    void missingDisabledStripReturnsFalse() {
        CImageToolBar bar(QStringLiteral("工具栏"));
        QAction *first = bar.addAction(QStringLiteral("新增"));
        bar.addSeparator();
        QAction *second = bar.addAction(QStringLiteral("修改"));
        QAction *third = bar.addAction(QStringLiteral("删除"));
        QVERIFY(!bar.LoadImageLists(32, m_normal, m_hot, m_dir.filePath("disabled.bmp")));
        QCOMPARE(bar.imageList(CImageToolBar::Normal).size(), 3);
        QCOMPARE(bar.imageList(CImageToolBar::Hot).size(), 3);
        QVERIFY(bar.imageList(CImageToolBar::Disabled).isEmpty());
        QCOMPARE(bar.iconSize(), QSize(32, 32));

        // Separators take no image: the third button shows the third image.
        const QImage normal = pixelsOf(third->icon(), QIcon::Normal);
        QCOMPARE(normal.pixelColor(16, 16), QColor(40, 50, 100));
        QCOMPARE(normal.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(normal.pixelColor(0, 31).alpha(), 0);
        const QImage hot = pixelsOf(second->icon(), QIcon::Active);
        QCOMPARE(hot.pixelColor(16, 16), QColor(20, 200, 100));
        QCOMPARE(hot.pixelColor(2, 2).alpha(), 0);
        QCOMPARE(pixelsOf(first->icon(), QIcon::Normal).pixelColor(16, 16), QColor(0, 50, 100));
    }

    void everyStripGivenReturnsTrue() {
        CImageToolBar bar(QStringLiteral("工具栏"));
        bar.addAction(QStringLiteral("新增"));
        QVERIFY(bar.LoadImageLists(32, m_normal, m_hot, m_hot));
        QCOMPARE(bar.imageList(CImageToolBar::Disabled).size(), 3);
        QVERIFY(bar.LoadImageLists(32, m_normal, m_hot));
        // Buttons added later get their images too.
        QAction *late = bar.addAction(QStringLiteral("修改"));
        QCOMPARE(pixelsOf(late->icon(), QIcon::Normal).pixelColor(16, 16), QColor(20, 50, 100));
    }

    void unreadableNormalStripSetsNothing() {
        CImageToolBar bar(QStringLiteral("工具栏"));
        QAction *action = bar.addAction(QStringLiteral("新增"));
        QVERIFY(!bar.LoadImageLists(32, m_dir.filePath("none.bmp"), m_hot));
        QVERIFY(bar.imageList(CImageToolBar::Normal).isEmpty());
        QVERIFY(bar.imageList(CImageToolBar::Hot).isEmpty());
        QVERIFY(action->icon().isNull());
        QVERIFY(CImageToolBar::cutStrip(m_normal, 200).isEmpty());
    }

    // The program's own strips: twelve 32 x 32 icons each, 24-bit, hot differing from normal.
    void programsStripsHoldTwelveIcons() {
        for (const char *path : {":/toolbar/normal.png", ":/toolbar/hot.png"}) {
            const QImage image(QString::fromLatin1(path));
            QCOMPARE(image.size(), QSize(384, 32));
            QVERIFY(!image.hasAlphaChannel());
        }
        const QList<QImage> normal = CImageToolBar::cutStrip(":/toolbar/normal.png", 32);
        const QList<QImage> hot = CImageToolBar::cutStrip(":/toolbar/hot.png", 32);
        QCOMPARE(normal.size(), 12);
        QCOMPARE(hot.size(), 12);
        for (int i = 0; i < 12; ++i) {
            int opaque = 0;
            int clear = 0;
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 32; ++x)
                    (qAlpha(normal.at(i).pixel(x, y)) ? opaque : clear)++;
            }
            QVERIFY2(opaque > 150 && clear > 50, qPrintable(QString::number(i)));
            QVERIFY(normal.at(i) != hot.at(i));
            for (int j = 0; j < i; ++j)
                QVERIFY(normal.at(i) != normal.at(j));
        }
    }
};

QTEST_MAIN(TestImageToolBar)
#include "test_image_tool_bar.moc"
