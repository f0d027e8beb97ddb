#pragma once

#include <QImage>
#include <QList>
#include <QToolBar>

// A toolbar whose button images are cut from strips of equal-width images: normal, hot
// (under the pointer) and disabled. The strips' bottom-left pixel gives the transparent
// colour. The n-th button (separators do not count) shows the n-th image.
class CImageToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit CImageToolBar(const QString &title, QWidget *parent = nullptr);

    // Sets the lists in that order and stops at the first that cannot be loaded; an empty
    // disabled path asks for none (the normal image is then greyed). True when every list
    // asked for was set.
    bool LoadImageLists(int buttonWidth, const QString &normal, const QString &hot,
                        const QString &disabled = QString());

    enum List { Normal, Hot, Disabled, ListCount };
    const QList<QImage> &imageList(List list) const { return m_lists[list]; }

    // Cuts a strip into images of buttonWidth, the strip's bottom-left colour transparent;
    // empty when the strip cannot be read or is narrower than one image.
    static QList<QImage> cutStrip(const QString &path, int buttonWidth);

protected:
    void actionEvent(QActionEvent *event) override;

private:
    void applyImages();

    QList<QImage> m_lists[ListCount];
};
