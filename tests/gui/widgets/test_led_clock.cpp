// The seven-segment date-and-time clock.
#include "widgets/LedClock.h"

#include <QSet>
#include <QTest>

namespace {
QImage rgb(const QImage &image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

QSet<QRgb> colours(const QImage &image) {
    QSet<QRgb> found;
    const QImage converted = rgb(image);
    for (int y = 0; y < converted.height(); ++y) {
        for (int x = 0; x < converted.width(); ++x)
            found.insert(converted.pixel(x, y) & 0xffffff);
    }
    return found;
}

const QRgb Lit = 0xff0000;
const QRgb Unlit = 0x800000;
const QRgb Ground = 0x000000;
} // namespace

class TestLedClock : public QObject {
    Q_OBJECT

    const QDateTime m_moment{QDate(2012, 2, 3), QTime(9, 5, 7)};

private slots:
    void glyphsAreOurOwnInTheClocksColours() {
        for (int index = 0; index < CLedClock::GlyphCount; ++index) {
            const QImage glyph = CLedClock::glyph(index);
            QCOMPARE(glyph.size(), QSize(13, 23));
            const QSet<QRgb> found = colours(glyph);
            QVERIFY(found.contains(Ground));
            QVERIFY((found - QSet<QRgb>{Lit, Unlit, Ground}).isEmpty());
            // Every glyph but the blank lights something; the colon shows no unlit segment.
            QCOMPARE(found.contains(Lit), index != CLedClock::Blank);
            QCOMPARE(found.contains(Unlit), index != CLedClock::Colon && index != 8);
        }
        // All ten digits differ, and the dash is the middle segment of the eight.
        QSet<QByteArray> digits;
        for (int digit = 0; digit < 10; ++digit) {
            const QImage glyph = rgb(CLedClock::glyph(digit));
            digits.insert(QByteArray(reinterpret_cast<const char *>(glyph.constBits()),
                                     int(glyph.sizeInBytes())));
        }
        QCOMPARE(digits.size(), 10);
        const QImage dash = rgb(CLedClock::glyph(CLedClock::Dash));
        const QImage eight = rgb(CLedClock::glyph(8));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 13; ++x) {
                if ((dash.pixel(x, y) & 0xffffff) == Lit)
                    QCOMPARE(eight.pixel(x, y) & 0xffffff, Lit);
            }
        }
        QVERIFY(CLedClock::glyph(CLedClock::GlyphCount).isNull());
        QVERIFY(CLedClock::glyph(-1).isNull());
    }

    void nineteenCellsOfDateAndTime() {
        QCOMPARE(
            CLedClock::cellGlyphs(m_moment),
            QList<int>({2, 0, 1, 2, CLedClock::Dash, 0, 2, CLedClock::Dash, 0, 3, CLedClock::Blank,
                        0, 9, CLedClock::Colon, 0, 5, CLedClock::Colon, 0, 7}));
        QCOMPARE(
            CLedClock::cellGlyphs(QDateTime(QDate(987, 12, 31), QTime(23, 59, 59))),
            QList<int>({0, 9, 8, 7, CLedClock::Dash, 1, 2, CLedClock::Dash, 3, 1, CLedClock::Blank,
                        2, 3, CLedClock::Colon, 5, 9, CLedClock::Colon, 5, 9}));
    }

    // Each cell shows its glyph, the last second digit included.
    void drawsEachCellsGlyph() {
        CLedClock clock;
        clock.setTimeSource([this] { return m_moment; });
        clock.resize(19 * 13, 23);
        clock.show();
        QVERIFY(QTest::qWaitForWindowExposed(&clock));
        const QImage shot = rgb(clock.grab().toImage());
        const QList<int> cells = CLedClock::cellGlyphs(m_moment);
        for (int cell = 0; cell < 19; ++cell) {
            const QImage expected = rgb(CLedClock::glyph(cells.at(cell)));
            QCOMPARE(shot.copy(cell * 13, 0, 13, 23), expected);
        }
    }

    // Stretched over a larger control the segments keep their exact colours.
    void stretchesWithoutBlending() {
        CLedClock clock;
        clock.setTimeSource([this] { return m_moment; });
        clock.resize(19 * 30, 60);
        clock.show();
        QVERIFY(QTest::qWaitForWindowExposed(&clock));
        const QImage shot = rgb(clock.grab().toImage());
        QCOMPARE(colours(shot), QSet<QRgb>({Lit, Unlit, Ground}));
        // The last cell, the seconds' 7, is drawn whole inside the control.
        const QImage seven = CLedClock::glyph(7).scaled(30, 60);
        QCOMPARE(shot.copy(18 * 30, 0, 30, 60), rgb(seven));
    }

    void ticksEverySecondOnlyWhileSeen() {
        QWidget window;
        auto *clock = new CLedClock(&window);
        int reads = 0;
        clock->setTimeSource([&] { return m_moment.addSecs(reads++); });
        QVERIFY(clock->cells().isEmpty());
        QVERIFY(!clock->isRunning());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(clock->isRunning());
        const QList<int> first = clock->cells();
        QVERIFY(!first.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(clock->cells() != first, 2500);
        QCOMPARE(clock->cells().last(), 8);

        window.hide();
        QVERIFY(!clock->isRunning());
        const int readsWhileHidden = reads;
        QTest::qWait(1200);
        QCOMPARE(reads, readsWhileHidden);
        window.show();
        QVERIFY(clock->isRunning());
        // Shown again it shows the time at once, not the one it stopped at.
        QCOMPARE(reads, readsWhileHidden + 1);

        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());
        QVERIFY(!clock->isRunning());
        window.showNormal();
        QTRY_VERIFY(clock->isRunning());
    }
};

QTEST_MAIN(TestLedClock)
#include "test_led_clock.moc"
