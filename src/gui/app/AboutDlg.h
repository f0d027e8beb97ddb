#pragma once

#include <QDialog>

// The about box: program icon, name and version, what it is, where its files are, and how
// to reach its maker.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const QString &storeDirectory, QWidget *parent = nullptr);
};
