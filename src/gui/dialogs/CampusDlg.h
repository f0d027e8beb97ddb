#pragma once

#include "Prompts.h"

#include "campus/CampusConfig.h"
#include "campus/CampusConnectionTest.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>

class CampusControl;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QSpinBox;
class QTableWidget;
class QTimer;

// "广播分区": the campus server (switched on or off, address, control port, pipe) with a
// connection test, the room terminals as the server reports them, and the zones with their
// rooms. Settings and zones are written at once; the server is reached only through the
// control connection, which never makes the dialog wait.
class CCampusDlg : public QDialog {
    Q_OBJECT
public:
    enum RoomColumn { IdColumn, NameColumn, StateColumn, VolumeColumn, MutedColumn };
    // How long the connection test, a room's rename and the rooms' refresh may take.
    static constexpr int RequestTimeoutMs = 3000;

    CCampusDlg(CampusConfig &config, CampusControl &control, QWidget *parent = nullptr);

    // Message boxes and questions; tests answer them without a display.
    Prompts::Tell tell;
    Prompts::Ask ask;
    // Asks for a text (caption, label, proposed text); nothing when the user cancels.
    Prompts::AskText askText;
    // Plays a short tone to these rooms; none given: 试听 is not offered.
    std::function<void(const QStringList &roomIds)> audition;
    // Whether a task plays now: 试听 waits for it to end.
    std::function<bool()> isPlaying;
    // Writes 连接测试's signal into the pipe; none given: the test stops at the server's
    // sources.
    CampusConnectionTest::SignalWriter testSignal;

    // The commands of the buttons, acting on the fields and the selections.
    void StoreServer();
    void TestConnection();
    void RenameRoom();
    void AddZone();
    void RenameZone();
    void RemoveZone();
    void AddRoomId();
    void Audition();

    void selectZone(const QString &name);
    void selectRoom(const QString &id);
    QString selectedZone() const;
    // Fills the server fields as the user would.
    void setServerFields(bool enabled, const QString &address, int port, const QString &pipe);
    QTableWidget *roomsTable() const { return m_rooms; }
    QListWidget *zoneList() const { return m_zones; }
    // The rooms a zone may hold, ticked when the selected zone holds them.
    QListWidget *zoneRooms() const { return m_zoneRooms; }
    QString testResult() const;
    QString connectionText() const;
    // The save's confirmation, or that the server fields hold edits not saved.
    QString saveText() const;
    // Rooms the server lists that the table leaves out; empty when there are none.
    QString unlistedText() const;

signals:
    // The settings, the zones or the control connection's server changed: what routes the
    // tasks must follow.
    void campusChanged();

protected:
    void done(int result) override;

private:
    void showServer();
    void showSaveState();
    bool storeServer();
    bool serverEdited() const;
    void showConnection();
    void showRooms();
    void showZones(const QString &current);
    void showZoneRooms();
    void zoneRoomTicked(QListWidgetItem *item);
    void storeTicks();
    CampusConfig::Server fieldServer() const;
    QString selectedRoom() const;
    // Runs a change on a copy off the GUI thread, then puts the copy in place.
    bool change(const std::function<StoreResult(CampusConfig &)> &work);
    void testEnded(const QString &result);

    CampusConfig &m_config;
    CampusControl &m_control;
    QCheckBox *m_enabled = nullptr;
    QLineEdit *m_address = nullptr;
    QSpinBox *m_port = nullptr;
    QLineEdit *m_pipe = nullptr;
    QLabel *m_testResult = nullptr;
    QLabel *m_saveResult = nullptr;
    QLabel *m_unlisted = nullptr;
    QLabel *m_connection = nullptr;
    QTableWidget *m_rooms = nullptr;
    QListWidget *m_zones = nullptr;
    QListWidget *m_zoneRooms = nullptr;
    QStringList m_typedIds; // room ids typed by hand, offered until the dialog closes
    struct Tick {
        QString zone;
        QString id;
        bool on;
    };
    QList<Tick> m_ticks; // rooms ticked or unticked, not stored yet
    bool m_storingTicks = false;
    CampusConnectionTest *m_test = nullptr;
    bool m_serverTouched = false;
    bool m_saved = false; // the fields were saved and not edited since
};
