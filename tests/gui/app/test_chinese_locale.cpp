// Run under a non-Chinese system locale (C.UTF-8): the interface speaks Chinese anyway,
// and what it stores keeps its fixed forms.
#include "app/ChineseLocale.h"
#include "dialogs/NewTaskDlg.h"
#include "scheduler/ClockTexts.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

namespace {

bool hasChinese(const QString &text) {
    for (QChar c : text)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

} // namespace

class TestChineseLocale : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The test means nothing on a machine that is Chinese already.
        QVERIFY2(QLocale::system().language() != QLocale::Chinese,
                 qPrintable(QLocale::system().name()));
        ChineseLocale::install();
    }

    void calendarPopUpNamesMonthsAndDaysInChinese() {
        CNewTaskDlg dialog(QDateTime(QDate(2026, 12, 7), QTime(8, 0)));
        auto *picker = dialog.findChild<QDateEdit *>("datePicker1009");
        QVERIFY(picker->calendarPopup());
        QCalendarWidget *calendar = picker->calendarWidget();
        calendar->setSelectedDate(QDate(2026, 12, 7));
        auto *month = calendar->findChild<QToolButton *>("qt_calendar_monthbutton");
        QVERIFY(month);
        QCOMPARE(month->text(), QStringLiteral("十二月"));
        auto *days = calendar->findChild<QTableView *>("qt_calendar_calendarview");
        QVERIFY(days);
        QStringList header;
        for (int column = 0; column < days->model()->columnCount(); ++column)
            header << days->model()->data(days->model()->index(0, column)).toString();
        QVERIFY2(header.contains(QStringLiteral("周一")) && header.contains(QStringLiteral("周日")),
                 qPrintable(header.join(u' ')));
    }

    void qtDialogsSpeakChinese() {
        QFileDialog files(nullptr, QStringLiteral("打开"));
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_DontUseNativeDialogs));
        QStringList texts;
        for (const char *name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
            texts << files.findChild<QLabel *>(QString::fromLatin1(name))->text();
        for (const QString &text : texts)
            QVERIFY2(hasChinese(text), qPrintable(text));
        // The type column names folders and files in Chinese too.
        QFileIconProvider types;
        for (const QString &path : {QDir::tempPath(), QCoreApplication::applicationFilePath(),
                                    QDir::temp().filePath(QStringLiteral("x.mp3"))})
            QVERIFY2(hasChinese(types.type(QFileInfo(path))), qPrintable(path));

        QMessageBox box(QMessageBox::Warning, QStringLiteral("Horalet"), QStringLiteral("x"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        for (QAbstractButton *button : box.buttons())
            QVERIFY2(hasChinese(button->text()), qPrintable(button->text()));
    }

    void storedTextsKeepTheirForms() {
        CNewTaskDlg dialog(QDateTime(QDate(2026, 12, 7), QTime(8, 0)));
        dialog.findChild<QRadioButton *>("oneDayRadio1014")->setChecked(true);
        dialog.findChild<QTimeEdit *>("endPicker1044")->setTime(QTime(8, 30, 5));
        const PlayTask task = dialog.task();
        QCOMPARE(task.Time, QStringLiteral("2026-12-07 08:00:00"));
        QCOMPARE(task.Duration, QStringLiteral("2026-12-07 08:30:05"));
        QCOMPARE(dialog.findChild<QDateEdit *>("datePicker1009")->text(),
                 QStringLiteral("2026-12-07"));
        QCOMPARE(dialog.findChild<QTimeEdit *>("startPicker1006")->text(),
                 QStringLiteral("08:00:00"));
        const ClockTexts now = ClockTexts::of(QDateTime(QDate(2026, 12, 7), QTime(21, 5, 9)));
        QCOMPARE(now.full, QStringLiteral("2026-12-07 21:05:09"));
        QCOMPARE(now.time, QStringLiteral("21:05:09"));
    }
};

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    TestChineseLocale test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_chinese_locale.moc"
