// The link label and the about box's link line.
#include "app/AboutDlg.h"
#include "program/MakerInfo.h"
#include "widgets/LinkLabel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

// Stands in for the desktop's handler of one scheme.
class Opener : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

namespace {
void hover(CLinkLabel &label) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&label, &enter);
}

void leave(CLinkLabel &label) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&label, &event);
}

void click(CLinkLabel &label) {
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(3, label.height() / 2));
}
} // namespace

class TestLinkLabel : public QObject {
    Q_OBJECT

    Opener m_opener;

private slots:
    void initTestCase() {
        QDesktopServices::setUrlHandler("https", &m_opener, "open");
        QDesktopServices::setUrlHandler("file", &m_opener, "open"); // the manual as home page
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("file");
    }
    void init() { m_opener.opened.clear(); }

    void defaults() {
        CLinkLabel label(QStringLiteral("https://example.org/"));
        QCOMPARE(label.linkColor(), QColor(0, 0, 238));
        QCOMPARE(label.visitedColor(), QColor(85, 26, 139));
        QCOMPARE(label.hoverColor(), QColor(255, 0, 0));
        QCOMPARE(label.underlineMode(), -1);
        QVERIFY(label.fitToText());
        QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(label.palette().color(QPalette::WindowText), QColor(0, 0, 238));
        QCOMPARE(label.textFormat(), Qt::PlainText);
        label.SetLinkColors(Qt::green, Qt::gray, QColor());
        QCOMPARE(label.hoverColor(), label.palette().color(QPalette::Highlight));
    }

    // A label whose target was never set opens its own text; visited stays after leaving.
    void clickOpensTheTextAndStaysVisited() {
        CLinkLabel label(QStringLiteral("https://horalet.example.org/a"));
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        QCOMPARE(label.GetLinkTarget(), QStringLiteral("https://horalet.example.org/a"));
        hover(label);
        QCOMPARE(label.currentColor(), QColor(255, 0, 0));
        click(label);
        QCOMPARE(m_opener.opened, QList<QUrl>({QUrl("https://horalet.example.org/a")}));
        QVERIFY(label.isVisited());
        leave(label);
        QCOMPARE(label.palette().color(QPalette::WindowText), QColor(85, 26, 139));
        hover(label);
        QCOMPARE(label.currentColor(), QColor(255, 0, 0));
        leave(label);
        QCOMPARE(label.currentColor(), QColor(85, 26, 139));
    }

    void targetDiffersFromText() {
        CLinkLabel label(QStringLiteral("主页"));
        label.SetLinkTarget(QStringLiteral("https://horalet.example.org/b"));
        QCOMPARE(label.text(), QStringLiteral("主页"));
        click(label);
        QCOMPARE(m_opener.opened, QList<QUrl>({QUrl("https://horalet.example.org/b")}));
        // An empty label shows its target.
        CLinkLabel empty;
        empty.SetLinkTarget(QStringLiteral("https://horalet.example.org/c"));
        QCOMPARE(empty.text(), QStringLiteral("https://horalet.example.org/c"));
    }

    void underlineModes() {
        CLinkLabel label(QStringLiteral("https://example.org/"));
        QVERIFY(!label.font().underline());
        hover(label);
        QVERIFY(label.font().underline());
        leave(label);
        QVERIFY(!label.font().underline());

        label.SetUnderlineMode(CLinkLabel::UnderlineAlways);
        QVERIFY(label.font().underline());
        hover(label);
        leave(label);
        QVERIFY(label.font().underline());

        label.SetUnderlineMode(CLinkLabel::UnderlineNever);
        QVERIFY(!label.font().underline());
        hover(label);
        QVERIFY(!label.font().underline());
    }

    void fitsItsText() {
        CLinkLabel label(QStringLiteral("short"));
        const int shortWidth = label.width();
        label.setText(QStringLiteral("a much longer link text"));
        label.SetFitToText(true);
        QVERIFY(label.width() > shortWidth);
        QCOMPARE(label.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        label.SetFitToText(false);
        QCOMPARE(label.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    }

    void failureMessages() {
        const QString head = QStringLiteral("Unable to open hyperlink:\n\n");
        QCOMPARE(CLinkLabel::errorMessage(26), head + "A sharing violation occurred. ");
        QCOMPARE(CLinkLabel::errorMessage(31),
                 head + "There is no application associated\nwith the given filename extension.");
        QCOMPARE(CLinkLabel::errorMessage(2), head + "The specified file was not found.");
        QCOMPARE(CLinkLabel::errorMessage(99), head + "Unknown Error (99) occurred.");
        QCOMPARE(CLinkLabel::errorMessage(4), head + "Unknown Error (4) occurred.");

        QTemporaryDir dir;
        QCOMPARE(CLinkLabel::OpenLinkTarget(dir.filePath("missing.htm")), 2);
        QCOMPARE(CLinkLabel::OpenLinkTarget(dir.filePath("no/such/missing.htm")), 3);
        QCOMPARE(CLinkLabel::OpenLinkTarget(QString()), 2);
        QCOMPARE(CLinkLabel::OpenLinkTarget(QStringLiteral("https://example.org/")), 33);
    }

    // A failed open beeps and says why; the label is not marked visited.
    void failedClickShowsTheReason() {
        QTemporaryDir dir;
        CLinkLabel label(dir.filePath("帮助.htm"));
        label.show();
        QString shown;
        QString caption;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = box->text();
            caption = box->windowTitle();
            QCOMPARE(box->icon(), QMessageBox::Warning);
            box->accept();
        });
        click(label);
        QCOMPARE(shown,
                 QStringLiteral("Unable to open hyperlink:\n\nThe specified file was not found."));
        QCOMPARE(caption, QStringLiteral("Horalet"));
        QVERIFY(!label.isVisited());
        leave(label);
        QCOMPARE(label.currentColor(), QColor(0, 0, 238));
    }

    // Only a click (press and release on the label) opens.
    void releaseOutsideDoesNotOpen() {
        CLinkLabel label(QStringLiteral("https://example.org/x"));
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(label.width() + 20, 2));
        QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(2, 2));
        QVERIFY(m_opener.opened.isEmpty());
    }

    void aboutBoxLinkIsAlwaysUnderlined() {
        CAboutDlg about(QStringLiteral("/tmp"));
        auto *link = about.findChild<CLinkLabel *>(QStringLiteral("homePageLink1126"));
        // No page configured and no manual found beside the test: no link that leads nowhere.
        if (MakerInfo::homePage().isEmpty()) {
            QVERIFY(!link);
            QSKIP("no home page configured and no manual found beside the test");
        }
        QVERIFY(link);
        QCOMPARE(link->underlineMode(), 1);
        QVERIFY(link->font().underline());
        QCOMPARE(link->GetLinkTarget(), MakerInfo::homePage());
        click(*link);
        QCOMPARE(m_opener.opened, QList<QUrl>({QUrl(MakerInfo::homePage())}));
    }
};

QTEST_MAIN(TestLinkLabel)
#include "test_link_label.moc"
