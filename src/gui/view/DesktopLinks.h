#pragma once

#include <QUrl>
#include <functional>

class QWidget;

// Help, the home page and mail: handed to the desktop's handler, and a failure shown in a
// message box (the desktop may have no handler at all).
class DesktopLinks {
public:
    // Opens a URL with the desktop's handler; false when none took it.
    using Opener = std::function<bool(const QUrl &)>;
    // Shows a failure to the user.
    using Teller = std::function<void(QWidget *parent, const QString &text)>;

    explicit DesktopLinks(QWidget *parent);

    void openHelp();
    void openHomePage();
    void sendMail();
    // True when the desktop took the URL; else the user has been told.
    bool open(const QUrl &url);

    void setOpener(Opener opener) { m_open = std::move(opener); }
    void setTeller(Teller teller) { m_tell = std::move(teller); }

    // The failure texts of the about box's link, for the codes these commands can meet.
    static QString failureText(int code);
    static constexpr int FileNotFound = 2;
    static constexpr int NoAssociation = 31;

private:
    void fail(int code);

    QWidget *m_parent;
    Opener m_open;
    Teller m_tell;
};
