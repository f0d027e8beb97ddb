// The holiday group's title box.
#include "widgets/GroupCheck.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

void click(QCheckBox *box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace

class TestGroupCheck : public QObject {
    Q_OBJECT

private slots:
    // Controls placed by coordinates beside the group: what overlaps it is governed.
    void governsExactlyWhatOverlapsTheGroup() {
        QWidget form;
        form.resize(600, 400);
        auto *group = new QGroupBox(QStringLiteral("caption"), &form);
        group->setGeometry(20, 40, 300, 200);
        auto *inside = new QCheckBox(QStringLiteral("一"), &form);
        inside->setGeometry(30, 60, 40, 20);
        auto *list = new QListWidget(&form);
        list->setGeometry(30, 100, 150, 60);
        auto *straddling = new QPushButton(QStringLiteral("删除"), &form);
        straddling->setGeometry(300, 220, 60, 30);
        auto *outside = new QPushButton(QStringLiteral("新增"), &form);
        outside->setGeometry(400, 40, 60, 30);
        auto *box = new CGroupCheck(QStringLiteral("下列日期不播放(节假日)"), &form);
        box->setGeometry(250, 0, 50, 20);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        box->AttachToGroup(group);
        QVERIFY(group->title().isEmpty());
        QCOMPARE(box->pos(), QPoint(30, 35)); // on the group's top edge, as its title
        QVERIFY(!box->isChecked());
        QVERIFY(box->isEnabled());
        QVERIFY(group->isEnabled());
        QVERIFY(!inside->isEnabled());
        QVERIFY(!list->isEnabled());
        QVERIFY(!straddling->isEnabled());
        QVERIFY(outside->isEnabled());
        QCOMPARE(box->palette().color(QPalette::WindowText), QColor(Qt::red));

        click(box);
        QVERIFY(box->isChecked());
        QVERIFY(inside->isEnabled());
        QVERIFY(list->isEnabled());
        QVERIFY(straddling->isEnabled());
        click(box);
        QVERIFY(!box->isChecked());
        QVERIFY(!inside->isEnabled());
        QVERIFY(!list->isEnabled());
        QVERIFY(box->isEnabled());
        QVERIFY(outside->isEnabled());
        // Ticked by code, the group follows just the same.
        box->setChecked(true);
        QVERIFY(list->isEnabled());
        box->setChecked(false);
        QVERIFY(!list->isEnabled());
        // Nothing is hidden unless asked.
        QVERIFY(inside->isVisible());
        QVERIFY(group->isVisible());
    }

    // A form built with layouts: the box starts as the group's first row.
    void takesTheTitlePlaceOfALaidOutGroup() {
        QWidget form;
        auto *outer = new QVBoxLayout(&form);
        auto *group = new QGroupBox(&form);
        outer->addWidget(group);
        auto *outside = new QPushButton(QStringLiteral("新增"), &form);
        outer->addWidget(outside);
        auto *rows = new QVBoxLayout(group);
        auto *box = new CGroupCheck(QStringLiteral("下列日期不播放(节假日)"), group);
        rows->addWidget(box);
        auto *weekday = new QCheckBox(QStringLiteral("三"), group);
        rows->addWidget(weekday);
        auto *nested = new QWidget(group); // a container: its contents follow it
        auto *nestedRow = new QHBoxLayout(nested);
        auto *add = new QPushButton(QStringLiteral("增加"), nested);
        nestedRow->addWidget(add);
        rows->addWidget(nested);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        box->AttachToGroup(group);
        QCOMPARE(rows->indexOf(box), -1);
        QCOMPARE(box->parentWidget(), group);
        QCOMPARE(box->y(), 0);
        QVERIFY(rows->contentsMargins().top() >= box->height());
        QVERIFY(box->isEnabled());
        QVERIFY(!weekday->isEnabled());
        QVERIFY(!add->isEnabled());
        QVERIFY(outside->isEnabled());

        click(box);
        QVERIFY(weekday->isEnabled());
        QVERIFY(add->isEnabled());
        QVERIFY(group->isEnabled());
    }

    void hidesWithTheCheckWhenAsked() {
        QWidget form;
        form.resize(400, 300);
        auto *group = new QGroupBox(&form);
        group->setGeometry(20, 40, 200, 100);
        auto *inside = new QLabel(QStringLiteral("一周内"), &form);
        inside->setGeometry(30, 60, 60, 20);
        auto *box = new CGroupCheck(QStringLiteral("设置"), &form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        box->AttachToGroup(group, true);
        QVERIFY(!inside->isVisible());
        QVERIFY(!group->isVisible());
        QVERIFY(box->isVisible());
        click(box);
        QVERIFY(inside->isVisible());
        QVERIFY(inside->isEnabled());
        QVERIFY(group->isVisible());
    }
};

QTEST_MAIN(TestGroupCheck)
#include "test_group_check.moc"
