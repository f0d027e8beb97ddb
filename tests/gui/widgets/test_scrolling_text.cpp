// The segmented status line and its scrolling.
#include "widgets/ScrollingText.h"

#include <QMouseEvent>
#include <QTest>

namespace {
TextSegment segment(const QString &text, const QColor &color = Qt::black) {
    TextSegment s;
    s.text = text;
    s.color = color;
    return s;
}

QImage rgb(const QImage &image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

int count(const QImage &image, const QColor &colour) {
    const QImage converted = rgb(image);
    int n = 0;
    for (int y = 0; y < converted.height(); ++y) {
        for (int x = 0; x < converted.width(); ++x)
            n += QColor(converted.pixel(x, y)) == colour;
    }
    return n;
}

// A form that records the button presses that reach it.
class Parent : public QWidget {
public:
    QList<QPoint> presses;
    QList<QPoint> releases;

protected:
    void mousePressEvent(QMouseEvent *event) override {
        presses.append(event->position().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent *event) override {
        releases.append(event->position().toPoint());
    }
};

const QColor Ground(202, 225, 243);
} // namespace

class TestScrollingText : public QObject {
    Q_OBJECT

private slots:
    void segmentEdgeCases() {
        CColorTextStatic line;
        QVERIFY(line.AddText("one", Qt::red));
        QVERIFY(line.AddSegment(segment("two")));
        QVERIFY(line.PutSegment(2, segment("three"))); // count: appends
        QCOMPARE(line.segmentCount(), 3);
        QCOMPARE(line.text(), QStringLiteral("onetwothree"));

        QVERIFY(line.PutSegment(0, segment("ONE", Qt::blue))); // replaces, still three
        QCOMPARE(line.segmentCount(), 3);
        QCOMPARE(line.text(), QStringLiteral("ONEtwothree"));
        QCOMPARE(line.GetSegment(0).color, QColor(Qt::blue));

        QVERIFY(!line.PutSegment(4, segment("far")));
        QVERIFY(!line.PutSegment(-1, segment("before")));
        QVERIFY(!line.PutSegment(1, segment("")));
        QVERIFY(!line.RemoveSegment(3));
        QVERIFY(!line.RemoveSegment(-1));
        QCOMPARE(line.segmentCount(), 3);

        const TextSegment outside = line.GetSegment(3);
        QVERIFY(outside.text.isEmpty());
        QCOMPARE(outside.color, QColor(Qt::black));
        QVERIFY(!outside.background.isValid());

        QVERIFY(line.RemoveSegment(1));
        QCOMPARE(line.text(), QStringLiteral("ONEthree"));
        line.RemoveAllSegments();
        QCOMPARE(line.segmentCount(), 0);
        line.SetText("plain");
        QCOMPARE(line.segmentCount(), 1);
        QCOMPARE(line.GetSegment(0).color, QColor(Qt::black));
    }

    // The ground is exact; a segment with a ground of its own paints it behind its text.
    void paintsGroundAndSegments() {
        CColorTextStatic line;
        line.resize(300, 20);
        line.SetBackColor(Ground);
        QCOMPARE(line.backColor(), Ground);
        QImage shot = line.grab().toImage();
        QCOMPARE(count(shot, Ground), 300 * 20);

        line.AddText("■■■", QColor(0, 128, 255));
        TextSegment boxed = segment("abc", Qt::white);
        boxed.background = QColor(10, 20, 30);
        line.AddSegment(boxed);
        shot = line.grab().toImage();
        QVERIFY(count(shot, QColor(0, 128, 255)) > 20);
        QVERIFY(count(shot, QColor(10, 20, 30)) > 20);
        QVERIFY(count(shot, Ground) > 300 * 10);

        line.SetBackColor(QColor());
        QCOMPARE(line.backColor(), line.palette().color(QPalette::Window));
    }

    void speedSetsTheInterval() {
        Parent form;
        auto *text = new CScrollingText(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!text->isScrolling());
        text->SetSpeed(500);
        QCOMPARE(text->interval(), 20);
        QVERIFY(text->isScrolling());
        text->SetSpeed(1001);
        QCOMPARE(text->speed(), 500);
        QCOMPARE(text->interval(), 20);
        text->SetSpeed(-1001);
        QCOMPARE(text->speed(), 500);
        text->SetSpeed(-100);
        QCOMPARE(text->interval(), 100);
        text->SetSpeed(3);
        QCOMPARE(text->interval(), 3333);
        text->SetSpeed(0);
        QVERIFY(!text->isScrolling());
    }

    void wrapsAroundBothWays() {
        CScrollingText text;
        text.resize(100, 20);
        text.AddText("wide enough", Qt::black);
        text.SetSpeed(1);
        const int width = QFontMetrics(text.segmentFont(text.GetSegment(0)))
                              .horizontalAdvance(QStringLiteral("wide enough"));
        QVERIFY(width > 10);
        // Right to left: it leaves the line, then comes in again at the right edge.
        for (int step = 1; step <= width; ++step)
            text.ScrollStep();
        QCOMPARE(text.offset(), -width);
        text.ScrollStep();
        QCOMPARE(text.offset(), 100);
        text.ScrollStep();
        QCOMPARE(text.offset(), 99);

        // Left to right: past the right edge it starts again wholly left of the line.
        text.SetSpeed(-1);
        text.ScrollStep();
        QCOMPARE(text.offset(), 100);
        text.ScrollStep();
        QCOMPARE(text.offset(), -width);
        text.ScrollStep();
        QCOMPARE(text.offset(), -width + 1);

        // Without segments nothing moves.
        text.RemoveAllSegments();
        text.ScrollStep();
        QCOMPARE(text.offset(), -width + 1);
    }

    // One step draws the same line one pixel further on.
    void stepMovesTheLineByOnePixel() {
        CScrollingText text;
        text.resize(200, 20);
        text.SetBackColor(Ground);
        text.AddText("■ 定时播放 ■", QColor(0, 128, 255));
        text.SetSpeed(100);
        for (int step = 0; step < 5; ++step)
            text.ScrollStep();
        const QImage before = rgb(text.grab().toImage());
        text.ScrollStep();
        const QImage after = rgb(text.grab().toImage());
        QVERIFY(before != after);
        QCOMPARE(after.copy(0, 0, 199, 20), before.copy(1, 0, 199, 20));
    }

    void scrollsInTimeAndStopsWhileUnseen() {
        Parent form;
        form.resize(300, 40);
        auto *text = new CScrollingText(&form);
        text->setGeometry(0, 0, 300, 20);
        text->AddText("scrolling", Qt::black);
        text->SetSpeed(1000); // every 10 ms
        QVERIFY(!text->isScrolling());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(text->isScrolling());
        QTRY_VERIFY(text->offset() < -5);

        form.hide();
        QVERIFY(!text->isScrolling());
        const int offset = text->offset();
        QTest::qWait(100);
        QCOMPARE(text->offset(), offset);
        form.show();
        QVERIFY(text->isScrolling());

        form.showMinimized();
        QTRY_VERIFY(form.isMinimized());
        QVERIFY(!text->isScrolling());
        form.showNormal();
        QTRY_VERIFY(text->isScrolling());
    }

    // Presses go on to the form, in the form's coordinates.
    void mouseButtonsReachTheParent() {
        Parent form;
        form.resize(300, 100);
        auto *text = new CScrollingText(&form);
        text->setGeometry(20, 50, 200, 20);
        text->AddText("line", Qt::black);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mousePress(text, Qt::LeftButton, {}, QPoint(5, 6));
        QTest::mouseRelease(text, Qt::LeftButton, {}, QPoint(5, 6));
        QTest::mousePress(text, Qt::RightButton, {}, QPoint(7, 8));
        QCOMPARE(form.presses, QList<QPoint>({QPoint(25, 56), QPoint(27, 58)}));
        QCOMPARE(form.releases, QList<QPoint>({QPoint(25, 56)}));
        QTest::mouseMove(text, QPoint(30, 4));
        QTRY_COMPARE(text->lastPointerPos(), QPoint(30, 4));
        QCOMPARE(text->cursor().shape(), Qt::ArrowCursor);
    }

    // A text removed while its steps run stops them; nothing reaches a dead control.
    void destroyedWhileScrolling() {
        auto *form = new QWidget;
        auto *text = new CScrollingText(form);
        text->AddText("bye", Qt::black);
        form->show();
        text->SetSpeed(1000);
        QVERIFY(text->isScrolling());
        delete form;
        QTest::qWait(50);
    }
};

QTEST_MAIN(TestScrollingText)
#include "test_scrolling_text.moc"
