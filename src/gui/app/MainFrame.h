#pragma once

#include <QColor>
#include <QHash>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>

class CHoraletView;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;

// The main window: menu, toolbar, status bar, tray icon and the exit question around the
// view. Commands of its own: show/hide window, toolbar and status bar, about box, exit;
// every other command goes to the view.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(const QString &storeDirectory, QWidget *parent = nullptr);
    ~CMainFrame() override;

    static QString frameTitle();
    static QString trayTip();
    // The status line's text while no command is under the pointer.
    static QString idleText();

    CHoraletView *view() const { return m_view; }
    // The menu/toolbar action of a command id (null for none).
    QAction *action(int id) const { return m_actions.value(id); }
    QToolBar *toolBar() const { return m_toolBar; }
    QMenu *trayMenu() const { return m_trayMenu; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QLabel *capsPane() const { return m_capsPane; }
    QLabel *numPane() const { return m_numPane; }
    QLabel *contactPane() const { return m_contactPane; }
    QLabel *nextTaskPane() const { return m_nextTaskPane; }
    QLabel *campusPane() const { return m_campusPane; }

    // Runs a command as if chosen from the menu; false when nothing handles it.
    bool runCommand(int id);
    // Asks the exit question; true when the user answers Yes.
    bool confirmExit();
    // What ends the program after a Yes (the default leaves the event loop with the code).
    void setExitHandler(std::function<void(int)> handler) { m_exit = std::move(handler); }
    void centreOnScreen();
    // A text of the program's own on the status line, shown instead of the idle text for a
    // while (a prompt still shows over it while the pointer is on a command).
    void showNotice(const QString &text, int lastsMs = 60000);
    // The notice on show is a warning (a task not heard): in the warning colour until the
    // next notice or its time is up.
    bool showsWarning() const { return m_warning; }
    static QColor warningColour();
    // The first show: the window, or with minimized only the tray icon (--minimized); when
    // no tray is there yet, one is waited for up to trayWaitMs before the window is shown
    // minimised instead.
    void showAtStart(bool minimized, int trayWaitMs = 10000);
    // Another start asked for this window: restored from the tray or minimised, raised, active.
    void bringForward() { restoreFromTray(); }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QAction *addCommand(int id, const QString &text, const QString &prompt = {},
                        const QString &tip = {});
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createTray();
    void updateCommandStates();
    void updateLockPanes();
    void yieldToNotice(bool yield);
    void markWarning(bool warning);
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    // Shows the window normally and active again, without the tray icon.
    void restoreFromTray();
    bool handlesItself(int id) const;
    void setAutostart(bool on);

    QString m_storeDirectory;
    CHoraletView *m_view = nullptr;
    QHash<int, QAction *> m_actions;
    QToolBar *m_toolBar = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    QLabel *m_capsPane = nullptr;
    QLabel *m_numPane = nullptr;
    QLabel *m_contactPane = nullptr;
    QLabel *m_nextTaskPane = nullptr;
    QLabel *m_campusPane = nullptr;
    std::function<void(int)> m_exit;
    QString m_idleText;
    // What the idle text returns to after a notice: "就绪", or files found with problems.
    QString m_restingText;
    QTimer *m_noticeTimer = nullptr;
    bool m_warning = false;
};
