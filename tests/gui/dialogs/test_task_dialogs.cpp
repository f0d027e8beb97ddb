#include "dialogs/ModifyTaskDlg.h"
#include "dialogs/NewTaskDlg.h"
#include "store/ProfileStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

namespace {

const QDateTime kNow(QDate(2013, 6, 14), QTime(10, 11, 12));

QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

PlayTask stored(const QString &name, const QString &time, const QString &end, const QString &device,
                const QString &volume = "60000", const QString &mode = TaskText::Sequential) {
    return {name, time, end, volume, device, mode, {}};
}

} // namespace

class TestTaskDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TaskStore> m_store;
    std::unique_ptr<TaskChanges> m_changes;
    QStringList m_notices;
    QStringList m_questions;
    bool m_answerYes = true;

    template <typename T> T *child(QWidget *dialog, const char *name) {
        T *found = dialog->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    void click(QWidget *dialog, const char *name) {
        QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton);
    }

    void prepare(CTaskDlgBase &dialog, CTaskDlgBase::Commit commit) {
        dialog.setCommit(std::move(commit));
        dialog.setNotice([this](QWidget *, const QString &text) { m_notices << text; });
        dialog.setQuestion([this](QWidget *, const QString &text) {
            m_questions << text;
            return m_answerYes;
        });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }

    void prepareNew(CNewTaskDlg &dialog) {
        prepare(dialog, [this](const PlayTask &t, const TaskPlaylist &items) {
            return m_changes->add(t, items);
        });
    }

    // A task may not end at its own start; the new dialog opens with both at now.
    void endHalfHourLater(QWidget *dialog) {
        child<QTimeEdit>(dialog, "endPicker1044")->setTime(kNow.time().addSecs(1800));
    }

    void prepareModify(CModifyTaskDlg &dialog, int section) {
        const PlayTask expected = m_store->ReadTaskRows().value(section);
        prepare(dialog, [this, section, expected](const PlayTask &t, const TaskPlaylist &items) {
            return m_changes->modify(section, expected, t, items);
        });
    }

    void setName(QWidget *dialog, const QString &name) {
        auto *edit = child<QLineEdit>(dialog, "nameEdit1004");
        edit->clear();
        // Key clicks carry ASCII only; other text arrives as an input method commits it.
        bool ascii = true;
        for (QChar c : name)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(edit, name);
        else
            edit->insert(name);
    }

    // Adds a task the way a user does and returns its stored row.
    PlayTask addThroughDialog(const PlayTask &t, const TaskPlaylist &items = {}) {
        PlayTask result;
        [&] {
            QVERIFY2(m_changes->add(t, items).ok, qPrintable(t.Name));
            result = m_store->ReadTaskRows().last();
        }();
        return result;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<TaskStore>(m_dir->path());
        m_changes = std::make_unique<TaskChanges>(*m_store);
        m_notices.clear();
        m_questions.clear();
        m_answerYes = true;
    }

    void onlyANameGivesAnEveryDayTask() {
        CNewTaskDlg dialog(kNow);
        prepareNew(dialog);
        QVERIFY(child<QRadioButton>(&dialog, "everyDayRadio1013")->isChecked());
        QVERIFY(child<QRadioButton>(&dialog, "sequentialRadio1117")->isChecked());
        QVERIFY(!child<QCheckBox>(&dialog, "dayMonday1085")->isEnabled());
        QCOMPARE(child<QComboBox>(&dialog, "volumeCombo1012")->count(), 8);
        QVERIFY(!child<QLineEdit>(&dialog, "modeEdit1005")->isVisible());

        // No name: the message, nothing stored, the dialog stays.
        click(&dialog, "okButton1");
        QCOMPARE(m_notices, QStringList{"请填写播放任务名称."});
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFile::exists(m_store->songFile()));

        // Only a name: start and end are both the moment the dialog opened. Stored so, the
        // task would start after its own end check and play on; it is refused.
        setName(&dialog, "早操");
        click(&dialog, "okButton1");
        QCOMPARE(m_notices.last(),
                 QStringLiteral("开始时间和结束时间不能相同,请让结束时间与开始时间至少相差几秒."));
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFile::exists(m_store->songFile()));

        child<QTimeEdit>(&dialog, "endPicker1044")->setTime(QTime(10, 11, 13));
        click(&dialog, "okButton1");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(m_store->ReadTaskRows(),
                 QList<PlayTask>{stored("早操", "10:11:12", "10:11:13", "每天")});
        QCOMPARE(ProfileStore::readString(m_dir->filePath("早操.ini"), "多媒体文件数量", "数量"),
                 QStringLiteral("0"));
        QCOMPARE(dialog.outcome().schedule.size(), 1);
    }

    void modifyRefusesEqualStartAndEnd() {
        // An old file may hold such a task: it opens, and OK asks for a different end.
        QVERIFY(m_store
                    ->RewriteTaskStore(
                        {stored("old", "2013-06-20 07:00:00", "2013-06-20 07:00:00", "指定的一天")})
                    .ok);
        const QByteArray before = fileBytes(m_store->songFile());
        CModifyTaskDlg dialog(m_store->ReadTaskRows()[0], {}, kNow);
        prepareModify(dialog, 0);
        click(&dialog, "okButton1");
        QCOMPARE(m_notices,
                 QStringList{"开始时间和结束时间不能相同,请让结束时间与开始时间至少相差几秒."});
        QVERIFY(dialog.isVisible());
        QCOMPARE(fileBytes(m_store->songFile()), before);

        child<QTimeEdit>(&dialog, "endPicker1044")->setTime(QTime(7, 0, 30));
        click(&dialog, "okButton1");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(m_store->ReadTaskRows()[0].Duration, QStringLiteral("2013-06-20 07:00:30"));

        // Start and end on different seconds of the clock are fine whatever their order (a
        // task running over midnight ends "before" it starts).
        CModifyTaskDlg again(m_store->ReadTaskRows()[0], {}, kNow);
        prepareModify(again, 0);
        click(&again, "everyDayRadio1013");
        // Typed as users type times: the click that enters a picker selects all of it, and
        // so does Ctrl+A; what is typed then sets the hour too, with colons or without.
        again.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&again));
        auto *start = child<QTimeEdit>(&again, "startPicker1006");
        auto *startText = start->findChild<QLineEdit *>();
        QTest::mouseClick(startText, Qt::LeftButton, {},
                          QPoint(startText->width() - 6, startText->height() / 2));
        QTest::keyClicks(start, "230000");
        QCOMPARE(start->time(), QTime(23, 0));
        auto *end = child<QTimeEdit>(&again, "endPicker1044");
        end->setFocus(Qt::TabFocusReason);
        QTest::keyClick(end, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(end, "1:00:00");
        QCOMPARE(end->time(), QTime(1, 0));
        click(&again, "okButton1");
        QCOMPARE(again.result(), int(QDialog::Accepted));
        QCOMPARE(m_store->ReadTaskRows()[0].Time, QStringLiteral("23:00:00"));
        QCOMPARE(m_store->ReadTaskRows()[0].Duration, QStringLiteral("01:00:00"));
    }

    void eachDateRuleStoresItsFields() {
        CNewTaskDlg oneDay(kNow);
        prepareNew(oneDay);
        endHalfHourLater(&oneDay);
        setName(&oneDay, "one");
        click(&oneDay, "oneDayRadio1014");
        child<QDateEdit>(&oneDay, "datePicker1009")->setDate(QDate(2012, 5, 1));
        child<QTimeEdit>(&oneDay, "startPicker1006")->setTime(QTime(8, 0));
        child<QTimeEdit>(&oneDay, "endPicker1044")->setTime(QTime(8, 30));
        click(&oneDay, "loopRadio1116");
        QCOMPARE(oneDay.endNoteShown(), QString());
        click(&oneDay, "okButton1");

        // Past midnight: the end is the next day's, and the dialog says so beside it.
        CNewTaskDlg night(kNow);
        prepareNew(night);
        setName(&night, "night");
        click(&night, "oneDayRadio1014");
        child<QDateEdit>(&night, "datePicker1009")->setDate(QDate(2012, 12, 31));
        child<QTimeEdit>(&night, "startPicker1006")->setTime(QTime(23, 0));
        child<QTimeEdit>(&night, "endPicker1044")->setTime(QTime(1, 0));
        QCOMPARE(night.endNoteShown(), QStringLiteral("次日 01:00:00"));
        click(&night, "everyDayRadio1013");
        QCOMPARE(night.endNoteShown(), QString());
        click(&night, "oneDayRadio1014");
        click(&night, "okButton1");

        CNewTaskDlg weekly(kNow);
        prepareNew(weekly);
        endHalfHourLater(&weekly);
        setName(&weekly, "weekly");
        click(&weekly, "weeklyRadio1017");
        for (const char *day : {"dayMonday1085", "dayWednesday1087", "dayFriday1089"})
            click(&weekly, day);
        click(&weekly, "randomRadio1118");
        click(&weekly, "okButton1");

        CNewTaskDlg none(kNow);
        prepareNew(none);
        endHalfHourLater(&none);
        setName(&none, "no days");
        click(&none, "weeklyRadio1017");
        click(&none, "okButton1");

        // Ticks made under 每周 are cleared by 每天.
        CNewTaskDlg daily(kNow);
        prepareNew(daily);
        endHalfHourLater(&daily);
        setName(&daily, "daily");
        click(&daily, "weeklyRadio1017");
        click(&daily, "dayTuesday1086");
        click(&daily, "everyDayRadio1013");
        QVERIFY(!child<QCheckBox>(&daily, "dayTuesday1086")->isChecked());
        QVERIFY(!child<QCheckBox>(&daily, "dayTuesday1086")->isEnabled());
        click(&daily, "okButton1");

        QCOMPARE(m_notices, QStringList{});
        const QList<PlayTask> expected = {
            stored("one", "2012-05-01 08:00:00", "2012-05-01 08:30:00", "指定的一天", "60000",
                   TaskText::Loop),
            stored("night", "2012-12-31 23:00:00", "2013-01-01 01:00:00", "指定的一天"),
            stored("weekly", "10:11:12", "10:41:12", "周一周三周五", "60000", TaskText::Random),
            stored("no days", "", "", ""),
            stored("daily", "10:11:12", "10:41:12", "每天"),
        };
        QCOMPARE(m_store->ReadTaskRows(), expected);
        QCOMPARE(m_store->LoadScheduleTable(), expected);
    }

    // A number typed with a Chinese input method's full-width digits is that number; anything
    // else that is not a number from 0 to 65535 is refused on OK, with the field to correct.
    void volumeIsANumberInRange() {
        const std::pair<QString, QString> typed[] = {
            {"5", "5"},
            {"６００００", "60000"},
            {" 65535 ", "65535"},
            {"abc", ""},
            {"70000", ""},
            {"-1", ""},
            {"", ""},
            {"6万", ""},
        };
        for (const auto &[text, kept] : typed) {
            m_notices.clear();
            CNewTaskDlg dialog(kNow);
            prepareNew(dialog);
            endHalfHourLater(&dialog);
            setName(&dialog, "v" + QString::number(m_store->ReadTaskRows().size()));
            auto *combo = child<QComboBox>(&dialog, "volumeCombo1012");
            combo->lineEdit()->selectAll();
            combo->lineEdit()->insert(text); // as an input method commits it
            if (text == "６００００")
                QCOMPARE(dialog.volumePercentShown(), QStringLiteral("≈ 91.6 %"));
            const qsizetype before = m_store->ReadTaskRows().size();
            click(&dialog, "okButton1");
            if (!kept.isEmpty()) {
                QCOMPARE(m_notices, QStringList{});
                QCOMPARE(m_store->ReadTaskRows().last().Type, kept);
                continue;
            }
            QCOMPARE(m_store->ReadTaskRows().size(), before);
            QVERIFY(dialog.isVisible());
            QCOMPARE(m_notices.size(), 1);
            QVERIFY2(m_notices[0].contains("请选择或填写 0 到 65535 之间的数字"),
                     qPrintable(m_notices[0]));
            QVERIFY(combo->lineEdit()->hasFocus() || combo->hasFocus());
        }
        QCOMPARE(m_notices,
                 QStringList{"音量 \"6万\" 不是数字,请选择或填写 0 到 65535 之间的数字."});
    }

    // The field takes the stored scale, 0..65535: the share of the loudest shows as typed,
    // and a volume under 1 % is asked about before it is stored.
    void volumeShowsItsShareAndANearlySilentOneIsAsked() {
        CNewTaskDlg dialog(kNow);
        prepareNew(dialog);
        endHalfHourLater(&dialog);
        setName(&dialog, "quiet");
        auto *combo = child<QComboBox>(&dialog, "volumeCombo1012");
        auto *percent = child<QLabel>(&dialog, "volumePercentLabel");
        QCOMPARE(percent->text(), QStringLiteral("≈ 91.6 %")); // 60000
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), "50");
        QCOMPARE(percent->text(), QStringLiteral("≈ 0.1 %"));
        QVERIFY(percent->isVisible());

        m_answerYes = false;
        click(&dialog, "okButton1");
        QCOMPARE(m_questions.size(), 1);
        QVERIFY2(m_questions[0].contains("50") && m_questions[0].contains("0.1 %"),
                 qPrintable(m_questions[0]));
        QVERIFY(m_store->ReadTaskRows().isEmpty());
        QVERIFY(dialog.isVisible());

        m_answerYes = true;
        click(&dialog, "okButton1");
        QCOMPARE(m_questions.size(), 2);
        QCOMPARE(m_store->ReadTaskRows().last().Type, QStringLiteral("50"));

        // Silence and an audible volume are stored without a question.
        const std::pair<const char *, const char *> shown[] = {
            {"0", "0 %"}, {"700", "≈ 1.1 %"}, {"65535", "100 %"}};
        for (const auto &[typed, expected] : shown) {
            CNewTaskDlg other(kNow);
            prepareNew(other);
            endHalfHourLater(&other);
            setName(&other, QStringLiteral("v") + typed);
            auto *field = child<QComboBox>(&other, "volumeCombo1012");
            field->lineEdit()->selectAll();
            QTest::keyClicks(field->lineEdit(), typed);
            QCOMPARE(child<QLabel>(&other, "volumePercentLabel")->text(),
                     QString::fromUtf8(expected));
            click(&other, "okButton1");
            QCOMPARE(m_store->ReadTaskRows().last().Type, QString::fromLatin1(typed));
        }
        QCOMPARE(m_questions.size(), 2);
    }

    void playListCommands() {
        CNewTaskDlg dialog(kNow);
        prepareNew(dialog);
        endHalfHourLater(&dialog);
        QStringList offered = {"/m/b.mp3", "/m/a.wav", "/m/b.mp3"};
        QStringList filtersSeen;
        dialog.setFileChooser([&](QWidget *, const QStringList &filters) {
            filtersSeen = filters;
            return offered;
        });
        click(&dialog, "addFilesButton1033");
        QCOMPARE(filtersSeen.first(), QStringLiteral("媒体文件(所有类型) (*)"));
        offered = {"/m/c.mid", "/m/🎵.mp3"};
        click(&dialog, "addFilesButton1033");
        QCOMPARE(m_notices.size(), 1);
        QVERIFY(m_notices[0].contains("🎵"));
        offered = {};
        click(&dialog, "addFilesButton1033"); // cancelled chooser

        auto *url = child<QLineEdit>(&dialog, "urlEdit1079");
        click(&dialog, "addUrlButton1080"); // empty: nothing
        QTest::keyClicks(url, "http://radio.example/live");
        click(&dialog, "addUrlButton1080");
        QCOMPARE(url->text(), QStringLiteral("http://radio.example/live"));
        QCOMPARE(dialog.playlist(), (TaskPlaylist{"/m/b.mp3", "/m/a.wav", "/m/b.mp3", "/m/c.mid",
                                                  "http://radio.example/live"}));

        click(&dialog, "deleteItemButton1034"); // nothing selected
        QCOMPARE(dialog.playlist().size(), 5);
        child<QListWidget>(&dialog, "playList1032")->setCurrentRow(1);
        click(&dialog, "deleteItemButton1034");
        QCOMPARE(dialog.playlist(),
                 (TaskPlaylist{"/m/b.mp3", "/m/b.mp3", "/m/c.mid", "http://radio.example/live"}));

        setName(&dialog, "list");
        click(&dialog, "okButton1");
        QCOMPARE(m_store->ReadTaskPlaylist("list"), dialog.playlist());

        CModifyTaskDlg modify(m_store->ReadTaskRows()[0], m_store->ReadTaskPlaylist("list"), kNow);
        prepareModify(modify, 0);
        QVERIFY(!modify.findChild<QLineEdit *>("urlEdit1079"));
        click(&modify, "deleteAllButton1035");
        click(&modify, "okButton1");
        QCOMPARE(m_store->ReadTaskPlaylist("list"), TaskPlaylist{});
    }

    void reopeningShowsEachKindAsStored() {
        const QList<PlayTask> kinds = {
            stored("daily", "08:00:00", "08:30:00", "每天"),
            stored("one", "2012-05-01 08:00:00", "2012-05-01 08:30:00", "指定的一天", "1234",
                   TaskText::Loop),
            stored("weekly", "07:00:00", "07:05:00", "周二周四", "5", TaskText::Random),
            stored("no days", "", "", "", "50000", "别的模式"),
            stored("night", "2012-12-31 23:00:00", "2013-01-01 01:00:00", "指定的一天"),
        };
        for (const PlayTask &t : kinds)
            addThroughDialog(t, {"/m/" + t.Name + ".mp3"});

        for (int section = 0; section < kinds.size(); ++section) {
            const PlayTask &t = kinds[section];
            CModifyTaskDlg dialog(t, m_store->ReadTaskPlaylist(t.Name), kNow);
            prepareModify(dialog, section);
            QCOMPARE(child<QLineEdit>(&dialog, "nameEdit1004")->text(), t.Name);
            QCOMPARE(child<QComboBox>(&dialog, "volumeCombo1012")->currentText(), t.Type);
            QCOMPARE(dialog.playlist(), TaskPlaylist{"/m/" + t.Name + ".mp3"});
            // OK without touching anything stores the task unchanged.
            click(&dialog, "okButton1");
            QCOMPARE(m_notices, QStringList{});
            QCOMPARE(m_store->ReadTaskRows()[section], t);
        }

        CModifyTaskDlg daily(kinds[0], {}, kNow);
        QVERIFY(child<QRadioButton>(&daily, "everyDayRadio1013")->isChecked());
        QVERIFY(!child<QCheckBox>(&daily, "dayMonday1085")->isEnabled());
        QCOMPARE(child<QDateEdit>(&daily, "datePicker1009")->date(), kNow.date());
        QCOMPARE(child<QTimeEdit>(&daily, "startPicker1006")->time(), QTime(8, 0));
        QCOMPARE(child<QTimeEdit>(&daily, "endPicker1044")->time(), QTime(8, 30));
        QVERIFY(child<QRadioButton>(&daily, "sequentialRadio1117")->isChecked());

        CModifyTaskDlg one(kinds[1], {}, kNow);
        QVERIFY(child<QRadioButton>(&one, "oneDayRadio1014")->isChecked());
        QCOMPARE(child<QRadioButton>(&one, "oneDayRadio1014")->text(),
                 QStringLiteral("指定一个日期"));
        QCOMPARE(child<QDateEdit>(&one, "datePicker1009")->date(), QDate(2012, 5, 1));
        QCOMPARE(child<QComboBox>(&one, "volumeCombo1012")->currentIndex(), -1);

        CModifyTaskDlg weekly(kinds[2], {}, kNow);
        QVERIFY(child<QRadioButton>(&weekly, "weeklyRadio1017")->isChecked());
        QVERIFY(child<QCheckBox>(&weekly, "dayTuesday1086")->isChecked());
        QVERIFY(child<QCheckBox>(&weekly, "dayThursday1088")->isChecked());
        QVERIFY(!child<QCheckBox>(&weekly, "dayMonday1085")->isChecked());
        QVERIFY(child<QCheckBox>(&weekly, "dayMonday1085")->isEnabled());
        QCOMPARE(child<QComboBox>(&weekly, "volumeCombo1012")->currentText(), QStringLiteral("5"));

        CModifyTaskDlg night(kinds[4], {}, kNow);
        QCOMPARE(night.endNoteShown(), QStringLiteral("次日 01:00:00"));

        CModifyTaskDlg odd(kinds[3], {}, kNow);
        for (const char *mode : {"loopRadio1116", "sequentialRadio1117", "randomRadio1118"})
            QVERIFY(!child<QRadioButton>(&odd, mode)->isChecked());
        QCOMPARE(child<QComboBox>(&odd, "volumeCombo1012")->currentIndex(), 5);
        QCOMPARE(child<QTimeEdit>(&odd, "startPicker1006")->time(), kNow.time());
    }

    void renameWritesTheNewPlaylistAndKeepsTheOld() {
        addThroughDialog(stored("A", "08:00:00", "08:30:00", "每天"), {"/m/1.mp3", "http://x/y"});
        CModifyTaskDlg dialog(m_store->ReadTaskRows()[0], m_store->ReadTaskPlaylist("A"), kNow);
        prepareModify(dialog, 0);
        setName(&dialog, "B");
        click(&dialog, "okButton1");
        QCOMPARE(m_store->ReadTaskRows()[0].Name, QStringLiteral("B"));
        QCOMPARE(m_store->ReadTaskPlaylist("B"), (TaskPlaylist{"/m/1.mp3", "http://x/y"}));
        QVERIFY(QFile::exists(m_dir->filePath("A.ini")));
    }

    void refusedNamesLeaveEverythingAsItWas() {
        addThroughDialog(stored("A", "08:00:00", "08:30:00", "每天"));
        addThroughDialog(stored("B", "09:00:00", "09:30:00", "每天"));
        const QByteArray before = fileBytes(m_store->songFile());

        CModifyTaskDlg dialog(m_store->ReadTaskRows()[1], {}, kNow);
        prepareModify(dialog, 1);
        for (const QString name :
             {"", "a", "x/y", "..", "Song", "复选控制", "ä", "nul.mp3", "a:b", "B."}) {
            setName(&dialog, name);
            click(&dialog, "okButton1");
            QVERIFY2(dialog.isVisible(), qPrintable(name));
        }
        QCOMPARE(m_notices.size(), 10);
        QVERIFY(m_notices[7].contains(QStringLiteral("设备名")));
        QCOMPARE(m_notices[0], QStringLiteral("请填写播放任务名称."));
        QVERIFY(m_notices[1].contains("重复"));
        QCOMPARE(fileBytes(m_store->songFile()), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 3); // song, A, B

        // Its own name is no repeat.
        setName(&dialog, "B");
        click(&dialog, "okButton1");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void cancelChangesNothing() {
        addThroughDialog(stored("A", "08:00:00", "08:30:00", "每天"), {"/m/1.mp3"});
        const QByteArray song = fileBytes(m_store->songFile());
        const QByteArray list = fileBytes(m_dir->filePath("A.ini"));

        CModifyTaskDlg modify(m_store->ReadTaskRows()[0], {"/m/1.mp3"}, kNow);
        prepareModify(modify, 0);
        setName(&modify, "Z");
        click(&modify, "deleteAllButton1035");
        click(&modify, "cancelButton2");
        QCOMPARE(modify.result(), int(QDialog::Rejected));

        CNewTaskDlg added(kNow);
        prepareNew(added);
        endHalfHourLater(&added);
        setName(&added, "N");
        click(&added, "cancelButton2");

        QCOMPARE(fileBytes(m_store->songFile()), song);
        QCOMPARE(fileBytes(m_dir->filePath("A.ini")), list);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
    }

    void aFailedWriteIsShownAndTheDialogStays() {
        addThroughDialog(stored("A", "08:00:00", "08:30:00", "每天"));
        // A directory where the playlist file must go makes its write fail.
        QVERIFY(QDir(m_dir->path()).mkdir("C.ini"));
        CNewTaskDlg dialog(kNow);
        prepareNew(dialog);
        endHalfHourLater(&dialog);
        setName(&dialog, "C");
        click(&dialog, "okButton1");
        QVERIFY(dialog.isVisible());
        QCOMPARE(m_notices.size(), 1);
        QVERIFY(!m_notices[0].isEmpty());
        QVERIFY(dialog.outcome().touched);
        // What the files hold: the task was not kept without its playlist.
        QCOMPARE(dialog.outcome().rows, m_store->ReadTaskRows());
        QCOMPARE(m_store->ReadTaskRows().size(), 1);
    }
};

QTEST_MAIN(TestTaskDialogs)
#include "test_task_dialogs.moc"
