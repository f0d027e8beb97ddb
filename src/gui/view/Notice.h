#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// A plain notice that does not wait for its answer: start-up and the schedule go on even
// where nobody is there to close the box (a machine that runs without a screen).
QMessageBox *showNotice(QWidget *parent, const QString &text);
