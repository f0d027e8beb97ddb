// The task table's own painting: cells by column and cell colours, the gradient header.
#include "view/HeaderCtrlCl.h"
#include "view/ListCtrlCl.h"

#include <QPainter>
#include <QStandardItemModel>
#include <QTest>

namespace {
QImage rgb(const QImage &image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

// Leftmost and rightmost x of a colour other than `ground` within a cell, -1 for none.
QPair<int, int> inkSpan(const QImage &image, const QRect &cell, const QColor &ground) {
    int left = -1;
    int right = -1;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            if (image.pixelColor(x, y) != ground) {
                if (left < 0)
                    left = x;
                right = x;
                break;
            }
        }
    }
    return {left, right};
}

const QColor Rose(255, 240, 240);
const QColor Plum(228, 203, 216);
const QColor Mint(136, 255, 196);
} // namespace

class TestListCtrlCl : public QObject {
    Q_OBJECT

    std::unique_ptr<CListCtrlCl> m_table;
    QStandardItemModel *m_model = nullptr;

    // Three columns of 120 px, three rows of "■■".
    void makeTable(const QList<int> &formats = {CListCtrlCl::FormatLeft, CListCtrlCl::FormatLeft,
                                                CListCtrlCl::FormatLeft}) {
        m_table = std::make_unique<CListCtrlCl>();
        m_model = new QStandardItemModel(3, 3, m_table.get());
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column)
                m_model->setItem(row, column, new QStandardItem(QStringLiteral("■■")));
        }
        m_table->setModel(m_model);
        for (int column = 0; column < 3; ++column)
            m_table->InsertColumn(column, QStringLiteral("列%1").arg(column), formats.value(column),
                                  120);
        m_table->SetRowHeight(18);
        m_table->SetCellFont(15, 0);
        m_table->resize(500, 200);
        m_table->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_table.get()));
    }

    QImage viewportShot() const { return rgb(m_table->viewport()->grab().toImage()); }
    QRect cell(int row, int column) const {
        return m_table->visualRect(m_model->index(row, column));
    }

private slots:
    void cleanup() { m_table.reset(); }

    void insertColumnCodes() {
        CListCtrlCl table;
        table.InsertColumn(0, "a", CListCtrlCl::FormatLeft, 50);
        table.InsertColumn(1, "b", CListCtrlCl::FormatCenter, 60);
        table.InsertColumn(2, "c", CListCtrlCl::FormatRight, 70);
        QCOMPARE(table.InsertColumn(3, "d", 7, 80), 3);
        QCOMPARE(table.header()->alignmentCodes(), QStringLiteral("0121"));
        QCOMPARE(table.header()->titles(), QStringList({"a", "b", "c", "d"}));
        QCOMPARE(table.columnAlignment(2), Qt::AlignRight);
        QCOMPARE(table.columnAlignment(3), Qt::AlignHCenter);
    }

    // Column records, a cell record over them, the first record of a column kept.
    void backgroundsByColumnThenCell() {
        makeTable();
        m_table->SetColumnBkColor(0, Rose);
        m_table->SetColumnBkColor(0, Qt::blue); // too late: the first record wins
        m_table->SetColumnBkColor(1, Plum);
        m_table->SetCellBkColor(1, 2, Mint);
        m_table->SetCellBkColor(1, 2, Qt::yellow);
        const QImage shot = viewportShot();
        const QColor base = m_table->palette().color(QPalette::Base);
        for (int row = 0; row < 3; ++row) {
            const QRect first = cell(row, 0);
            // Column 0 is filled from its very left, 2 px before its text begins.
            QCOMPARE(shot.pixelColor(first.left(), first.top() + 1), Rose);
            QCOMPARE(shot.pixelColor(first.right(), first.bottom()), Rose);
            const QRect second = cell(row, 1);
            QCOMPARE(shot.pixelColor(second.right() - 1, second.top() + 1), row == 2 ? Mint : Plum);
            const QRect third = cell(row, 2);
            QCOMPARE(shot.pixelColor(third.right() - 1, third.top() + 1), base);
        }
        // (The glyph's own side bearing may add a pixel.)
        const int ink = inkSpan(shot, cell(0, 0), Rose).first;
        QVERIFY2(ink >= cell(0, 0).left() + 2 && ink <= cell(0, 0).left() + 4,
                 qPrintable(QString::number(ink)));
    }

    void textColoursByColumnThenCell() {
        makeTable();
        m_table->SetDefaultTextColor(QColor(0, 0, 200));
        m_table->SetColumnTextColor(1, QColor(200, 0, 0));
        m_table->SetCellTextColor(1, 1, QColor(0, 150, 0));
        QCOMPARE(m_table->cellTextColor(0, 0, false), QColor(0, 0, 200));
        QCOMPARE(m_table->cellTextColor(0, 1, false), QColor(200, 0, 0));
        QCOMPARE(m_table->cellTextColor(1, 1, false), QColor(0, 150, 0));
        const QImage shot = viewportShot();
        // "■" is solid: its inside has exactly the text colour.
        const auto has = [&](const QRect &area, const QColor &colour) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    if (shot.pixelColor(x, y) == colour)
                        return true;
                }
            }
            return false;
        };
        QVERIFY(has(cell(0, 0), QColor(0, 0, 200)));
        QVERIFY(has(cell(0, 1), QColor(200, 0, 0)));
        QVERIFY(has(cell(1, 1), QColor(0, 150, 0)));
        QVERIFY(!has(cell(1, 1), QColor(200, 0, 0)));
    }

    // The whole selected row, every cell, in the highlight colours.
    void selectedRowIsHighlightedAcross() {
        makeTable();
        m_table->SetColumnBkColor(0, Rose);
        m_table->SetColumnBkColor(1, Plum);
        m_table->SetCellBkColor(2, 1, Mint);
        m_table->selectRow(1);
        const QImage shot = viewportShot();
        const QColor highlight = m_table->palette().color(QPalette::Active, QPalette::Highlight);
        const QColor text = m_table->palette().color(QPalette::Active, QPalette::HighlightedText);
        for (int column = 0; column < 3; ++column) {
            const QRect selected = cell(1, column);
            QCOMPARE(shot.pixelColor(selected.right() - 1, selected.top() + 1), highlight);
            bool inked = false;
            for (int x = selected.left(); x < selected.left() + 40 && !inked; ++x)
                inked = shot.pixelColor(x, selected.center().y()) == text;
            QVERIFY2(inked, qPrintable(QString::number(column)));
        }
        QCOMPARE(shot.pixelColor(cell(0, 0).right() - 1, cell(0, 0).top() + 1), Rose);
    }

    void alignmentPerColumn() {
        makeTable({CListCtrlCl::FormatLeft, CListCtrlCl::FormatCenter, CListCtrlCl::FormatRight});
        const QImage shot = viewportShot();
        const QColor base = m_table->palette().color(QPalette::Base);
        const QRect left = cell(0, 0);
        const auto leftInk = inkSpan(shot, left, base);
        QVERIFY(leftInk.first >= left.left() + 2 && leftInk.first <= left.left() + 4);

        const QRect centred = cell(0, 1);
        const auto centredInk = inkSpan(shot, centred, base);
        const int margins =
            (centredInk.first - centred.left()) - (centred.right() - centredInk.second);
        QVERIFY2(qAbs(margins) <= 2, qPrintable(QString::number(margins)));

        const QRect right = cell(0, 2);
        const auto rightInk = inkSpan(shot, right, base);
        QVERIFY2(right.right() - rightInk.second <= 2,
                 qPrintable(QString::number(rightInk.second)));

        // Vertically centred in the row.
        int top = -1;
        int bottom = -1;
        for (int y = left.top(); y <= left.bottom(); ++y) {
            for (int x = left.left(); x <= left.right(); ++x) {
                if (shot.pixelColor(x, y) != base) {
                    if (top < 0)
                        top = y;
                    bottom = y;
                    break;
                }
            }
        }
        QVERIFY(top >= 0);
        QVERIFY2(qAbs((top - left.top()) - (left.bottom() - bottom)) <= 3,
                 qPrintable(QStringLiteral("%1..%2 in %3..%4")
                                .arg(top)
                                .arg(bottom)
                                .arg(left.top())
                                .arg(left.bottom())));
    }

    void rowHeightAndHeaderScale() {
        makeTable();
        QCOMPARE(m_table->rowHeight(0), 18);
        QCOMPARE(m_table->rowViewportPosition(2), 36);
        CHeaderCtrlCl *header = m_table->header();
        const int natural = header->naturalHeight();
        QCOMPARE(header->height(), natural);
        m_table->SetHeaderHeightScale(1.6f);
        QTRY_COMPARE(header->height(), int(float(natural) * 1.6f));
        // The rows start below the taller header.
        QCOMPARE(m_table->viewport()->geometry().top(), header->geometry().bottom() + 1);
    }

    // Each pixel row one step darker, every channel held at 0: black from row 30 on; the
    // header is painted right of its last section too.
    void headerGradient() {
        makeTable();
        m_table->SetHeaderHeightScale(3.0f);
        m_table->SetHeaderTitleColor(Qt::white);
        CHeaderCtrlCl *header = m_table->header();
        QTRY_VERIFY(header->height() > 40);
        const QImage shot = rgb(header->viewport()->grab().toImage());
        const int height = shot.height();
        QCOMPARE(shot.pixelColor(1, 0), QColor(171, 199, 235));
        QCOMPARE(shot.pixelColor(1, 1), QColor(163, 191, 227));
        QCOMPARE(shot.pixelColor(1, 2), QColor(155, 183, 219));
        QCOMPARE(shot.pixelColor(1, 22), QColor(0, 23, 59));
        for (int x : {1, 121, 361, 420, shot.width() - 1}) {
            for (int y = 0; y < height; ++y) {
                const QColor expected(qMax(0, 171 - 8 * y), qMax(0, 199 - 8 * y),
                                      qMax(0, 235 - 8 * y));
                QCOMPARE(shot.pixelColor(x, y), expected);
            }
            QCOMPARE(shot.pixelColor(x, height - 1), QColor(Qt::black));
        }
        // Between sections the header's own ground shows: a one-pixel seam.
        QVERIFY(shot.pixelColor(120, 0) != QColor(171, 199, 235));
        QVERIFY(shot.pixelColor(360, 0) != QColor(171, 199, 235));
        // The titles are white on it.
        bool white = false;
        for (int y = 0; y < height && !white; ++y) {
            for (int x = 3; x < 60 && !white; ++x)
                white = shot.pixelColor(x, y) == QColor(Qt::white);
        }
        QVERIFY(white);

        m_table->SetHeaderShade(100, 100, 100, 50);
        const QImage shaded = rgb(header->viewport()->grab().toImage());
        QCOMPARE(shaded.pixelColor(1, 0), QColor(100, 100, 100));
        QCOMPARE(shaded.pixelColor(1, 1), QColor(50, 50, 50));
        QCOMPARE(shaded.pixelColor(1, 2), QColor(0, 0, 0));
    }

    // A row the model marks shows its icon at the left of column 0, before the text.
    void decorationIconOnColumnZero() {
        makeTable();
        m_table->SetColumnBkColor(0, Rose);
        QPixmap mark(16, 16);
        mark.fill(QColor(250, 0, 0));
        m_model->item(1, 0)->setData(QIcon(mark), Qt::DecorationRole);
        const QImage shot = viewportShot();
        const QRect marked = cell(1, 0);
        QCOMPARE(shot.pixelColor(marked.left() + 4, marked.center().y()), QColor(250, 0, 0));
        QVERIFY(inkSpan(shot, cell(0, 0), Rose).first < marked.left() + 4);
        const QRect plain = cell(0, 0);
        QVERIFY(shot.pixelColor(plain.left() + 4, plain.top() + 1) != QColor(250, 0, 0));
    }
};

QTEST_MAIN(TestListCtrlCl)
#include "test_list_ctrl_cl.moc"
