#pragma once

#include <QHash>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>

class CHoraletView;
class QLabel;
class QMenu;
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

    CHoraletView *view() const { return m_view; }
    // The menu/toolbar action of a command id (null for none).
    QAction *action(int id) const { return m_actions.value(id); }
    QToolBar *toolBar() const { return m_toolBar; }
    QMenu *trayMenu() const { return m_trayMenu; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QLabel *messagePane() const { return m_messagePane; }
    QLabel *capsPane() const { return m_capsPane; }
    QLabel *numPane() const { return m_numPane; }
    QLabel *contactPane() const { return m_contactPane; }
    QLabel *nextTaskPane() const { return m_nextTaskPane; }

    // Runs a command as if chosen from the menu; false when nothing handles it.
    bool runCommand(int id);
    // Asks the exit question; true when the user answers Yes.
    bool confirmExit();
    // What ends the program after a Yes (the default leaves the event loop with the code).
    void setExitHandler(std::function<void(int)> handler) { m_exit = std::move(handler); }
    void centreOnScreen();

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
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    bool handlesItself(int id) const;

    QString m_storeDirectory;
    CHoraletView *m_view = nullptr;
    QHash<int, QAction *> m_actions;
    QToolBar *m_toolBar = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    QLabel *m_messagePane = nullptr;
    QLabel *m_capsPane = nullptr;
    QLabel *m_numPane = nullptr;
    QLabel *m_contactPane = nullptr;
    QLabel *m_nextTaskPane = nullptr;
    std::function<void(int)> m_exit;
};
