#pragma once

#include <QColor>
#include <QCursor>
#include <QLabel>

// A text that works as a link: link colours, another colour while the pointer is over it,
// a hand cursor, its target as tooltip; a click opens the target with the desktop's handler
// and, when that fails, beeps and says why.
class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    // Results of OpenLinkTarget: above 32 is success; the others are the reasons.
    enum Result {
        OutOfResources = 0,
        FileNotFound = 2,
        PathNotFound = 3,
        NoAssociation = 31,
        Opened = 33
    };
    enum UnderlineMode { UnderlineOnHover = -1, UnderlineNever = 0, UnderlineAlways = 1 };

    explicit CLinkLabel(QWidget *parent = nullptr);
    explicit CLinkLabel(const QString &text, QWidget *parent = nullptr);

    // What a click opens; while none is set, the label's own text.
    void SetLinkTarget(const QString &target);
    QString GetLinkTarget() const;
    // An invalid hover colour stands for the system's highlight colour.
    void SetLinkColors(const QColor &link, const QColor &visited, const QColor &hover);
    QColor linkColor() const { return m_linkColor; }
    QColor visitedColor() const { return m_visitedColor; }
    QColor hoverColor() const;
    void MarkVisited(bool visited);
    bool isVisited() const { return m_visited; }
    void SetHoverCursor(const QCursor &cursor = QCursor(Qt::PointingHandCursor));
    QCursor hoverCursor() const { return cursor(); }
    // -1 underlined only while the pointer is over it, 0 never, 1 always.
    void SetUnderlineMode(int mode);
    int underlineMode() const { return m_underlineMode; }
    // Keeps the label the size of its text.
    void SetFitToText(bool fit);
    bool fitToText() const { return m_fitToText; }
    bool isPointerOver() const { return m_pointerOver; }
    // The colour the text is drawn in now.
    QColor currentColor() const;

    // Opens a target with the desktop's handler (a web address, a mail address or a path),
    // never through a shell. Above 32 on success, else one of the reasons.
    static int OpenLinkTarget(const QString &target);
    // "Unable to open hyperlink:\n\n" and the reason for a result.
    static QString errorMessage(int result);

    // Opens the target as a click does: visited on success, else a beep and the message.
    void open();

signals:
    void linkOpened(const QString &target);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void init();
    void applyLook();
    void refit();

    QColor m_linkColor{0, 0, 238};
    QColor m_visitedColor{85, 26, 139};
    QColor m_hoverColor{255, 0, 0};
    bool m_pointerOver = false;
    bool m_visited = false;
    bool m_pressed = false;
    int m_underlineMode = UnderlineOnHover;
    bool m_fitToText = true;
    QString m_target;
};
