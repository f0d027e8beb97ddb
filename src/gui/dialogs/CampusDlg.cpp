#include "CampusDlg.h"

#include "OffThread.h"
#include "campus/CampusControl.h"
#include "tasktable/DisplayText.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Names set on the server are shown in lists and log rows.
constexpr qsizetype kMaxRoomName = 64;

QPushButton *button(const QString &title, QWidget *parent, CCampusDlg *dialog,
                    void (CCampusDlg::*command)()) {
    auto *b = new QPushButton(title, parent);
    QObject::connect(b, &QPushButton::clicked, dialog, command);
    return b;
}

} // namespace

CCampusDlg::CCampusDlg(CampusConfig &config, CampusControl &control, QWidget *parent)
    : QDialog(parent), m_config(config), m_control(control) {
    setWindowTitle(QStringLiteral("广播分区"));
    tell = Prompts::warning(QStringLiteral("广播分区"));
    ask = Prompts::question(QStringLiteral("广播分区"));
    askText = Prompts::text();

    auto *layout = new QVBoxLayout(this);

    auto *server = new QGroupBox(QStringLiteral("广播服务器"), this);
    auto *serverLayout = new QVBoxLayout(server);
    m_enabled = new QCheckBox(QStringLiteral("启用校园广播（任务在所选分区的终端播放）"), server);
    serverLayout->addWidget(m_enabled);
    auto *fields = new QHBoxLayout;
    m_address = new QLineEdit(server);
    m_port = new QSpinBox(server);
    m_port->setRange(1, 65535);
    m_pipe = new QLineEdit(server);
    fields->addWidget(new QLabel(QStringLiteral("地址："), server));
    fields->addWidget(m_address, 2);
    fields->addWidget(new QLabel(QStringLiteral("控制端口："), server));
    fields->addWidget(m_port);
    fields->addWidget(new QLabel(QStringLiteral("管道："), server));
    fields->addWidget(m_pipe, 2);
    fields->addWidget(button(QStringLiteral("保存"), server, this, &CCampusDlg::StoreServer));
    serverLayout->addLayout(fields);
    m_saveResult = new QLabel(server);
    m_saveResult->setObjectName(QStringLiteral("saveResult"));
    serverLayout->addWidget(m_saveResult);
    auto *test = new QHBoxLayout;
    test->addWidget(button(QStringLiteral("连接测试"), server, this, &CCampusDlg::TestConnection));
    m_testResult = new QLabel(server);
    m_testResult->setObjectName(QStringLiteral("testResult"));
    m_testResult->setWordWrap(true); // a refusal names the pipe and why
    test->addWidget(m_testResult, 1);
    m_connection = new QLabel(server);
    test->addWidget(m_connection);
    serverLayout->addLayout(test);
    layout->addWidget(server);
    connect(m_enabled, &QCheckBox::clicked, this, &CCampusDlg::StoreServer);
    connect(m_address, &QLineEdit::textEdited, this, &CCampusDlg::showSaveState);
    connect(m_pipe, &QLineEdit::textEdited, this, &CCampusDlg::showSaveState);
    connect(m_port, &QSpinBox::valueChanged, this, &CCampusDlg::showSaveState);

    auto *rooms = new QGroupBox(QStringLiteral("终端"), this);
    auto *roomsLayout = new QVBoxLayout(rooms);
    m_rooms = new QTableWidget(0, 5, rooms);
    m_rooms->setHorizontalHeaderLabels({QStringLiteral("终端 ID"), QStringLiteral("名称"),
                                        QStringLiteral("状态"), QStringLiteral("音量"),
                                        QStringLiteral("静音")});
    m_rooms->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_rooms->setSelectionMode(QAbstractItemView::SingleSelection);
    m_rooms->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rooms->verticalHeader()->hide();
    m_rooms->horizontalHeader()->setStretchLastSection(true);
    roomsLayout->addWidget(m_rooms);
    m_unlisted = new QLabel(rooms);
    m_unlisted->setWordWrap(true);
    m_unlisted->hide();
    roomsLayout->addWidget(m_unlisted);
    auto *roomButtons = new QHBoxLayout;
    roomButtons->addWidget(button(QStringLiteral("改名..."), rooms, this, &CCampusDlg::RenameRoom));
    roomButtons->addWidget(new QLabel(
        QStringLiteral("终端上运行 snapclient -h <本机地址> --hostID <终端 ID>。"), rooms));
    roomButtons->addStretch();
    roomsLayout->addLayout(roomButtons);
    layout->addWidget(rooms, 1);

    auto *zones = new QGroupBox(QStringLiteral("分区"), this);
    auto *zonesLayout = new QVBoxLayout(zones);
    auto *lists = new QHBoxLayout;
    m_zones = new QListWidget(zones);
    m_zoneRooms = new QListWidget(zones);
    lists->addWidget(m_zones, 1);
    lists->addWidget(m_zoneRooms, 2);
    zonesLayout->addLayout(lists);
    auto *zoneButtons = new QHBoxLayout;
    const struct {
        const char *title;
        void (CCampusDlg::*command)();
    } zoneCommands[] = {{"添加分区...", &CCampusDlg::AddZone},
                        {"改名...", &CCampusDlg::RenameZone},
                        {"删除", &CCampusDlg::RemoveZone},
                        {"添加终端 ID...", &CCampusDlg::AddRoomId},
                        {"试听", &CCampusDlg::Audition}};
    for (const auto &c : zoneCommands)
        zoneButtons->addWidget(button(QString::fromUtf8(c.title), zones, this, c.command));
    zoneButtons->addStretch();
    zonesLayout->addLayout(zoneButtons);
    layout->addWidget(zones, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(&m_control, &CampusControl::roomsChanged, this, &CCampusDlg::showRooms);
    connect(&m_control, &CampusControl::connectionChanged, this, [this] {
        showConnection();
        showRooms();
    });
    connect(m_zones, &QListWidget::itemSelectionChanged, this, &CCampusDlg::showZoneRooms);
    connect(m_zoneRooms, &QListWidget::itemChanged, this, &CCampusDlg::zoneRoomTicked);

    showServer();
    showConnection();
    showZones(QString());
    showRooms();
    resize(720, 600);
}

void CCampusDlg::showServer() {
    const CampusConfig::Server &s = m_config.server();
    m_enabled->setChecked(s.enabled);
    m_address->setText(s.address);
    m_port->setValue(s.controlPort);
    m_pipe->setText(s.pipe);
}

void CCampusDlg::setServerFields(bool enabled, const QString &address, int port,
                                 const QString &pipe) {
    m_enabled->setChecked(enabled);
    m_address->setText(address);
    m_port->setValue(port);
    m_pipe->setText(pipe);
    showSaveState();
}

CampusConfig::Server CCampusDlg::fieldServer() const {
    // The pipe's group is the administrator's, set in the file (see the manual).
    return {m_enabled->isChecked(), m_address->text().trimmed(), m_port->value(),
            m_pipe->text().trimmed(), m_config.server().pipeGroup};
}

bool CCampusDlg::serverEdited() const {
    return fieldServer() != m_config.server();
}

void CCampusDlg::showSaveState() {
    if (serverEdited()) {
        m_saved = false;
        m_saveResult->setText(QStringLiteral("服务器设置已修改，尚未保存"));
    } else {
        m_saveResult->setText(m_saved ? QStringLiteral("服务器设置已保存") : QString());
    }
}

QString CCampusDlg::saveText() const {
    return m_saveResult->text();
}

QString CCampusDlg::unlistedText() const {
    return m_unlisted->isHidden() ? QString() : m_unlisted->text();
}

void CCampusDlg::showConnection() {
    m_connection->setText(connectionText());
}

QString CCampusDlg::connectionText() const {
    return m_control.isConnected() ? QStringLiteral("已连接广播服务器")
                                   : QStringLiteral("未连接广播服务器");
}

QString CCampusDlg::testResult() const {
    return m_testResult->text();
}

void CCampusDlg::showRooms() {
    const QString selected = selectedRoom();
    const CampusRooms &known = m_control.rooms();
    // Left out of the table, never out of control: the routing mutes them like any other.
    const qsizetype unlisted =
        std::count_if(known.cbegin(), known.cend(), [](const CampusRoom &r) { return !r.shown; });
    QStringList notes;
    if (unlisted > 0)
        notes << QStringLiteral("另有 %1 个终端未列出（ID 为空、含空白或特殊字符、超过 64 个字符，"
                                "或终端超过 256 个）：它们不能加入分区，按分区播放的任务会使它们"
                                "静音，不分区的任务在它们上播放。")
                     .arg(unlisted);
    if (const int uncontrolled = m_control.uncontrolledRooms(); uncontrolled > 0)
        notes << QStringLiteral("服务器还列出了 %1 个无法控制的终端（终端过多或 ID 过长）。")
                     .arg(uncontrolled);
    m_unlisted->setText(notes.join(u'\n'));
    m_unlisted->setHidden(notes.isEmpty());
    QStringList unknown;
    for (const CampusConfig::Zone &zone : m_config.zones())
        for (const QString &id : zone.rooms)
            if (!unknown.contains(id) &&
                std::none_of(known.cbegin(), known.cend(),
                             [&](const CampusRoom &r) { return r.id == id; }))
                unknown << id;
    {
        const QSignalBlocker quiet(m_rooms);
        m_rooms->setRowCount(0);
        auto addRow = [this, &selected](const QString &id, const QStringList &texts) {
            const int row = m_rooms->rowCount();
            m_rooms->insertRow(row);
            auto *idItem = new QTableWidgetItem(DisplayText::shown(id, kMaxRoomName));
            idItem->setData(Qt::UserRole, id);
            m_rooms->setItem(row, IdColumn, idItem);
            for (int column = NameColumn; column <= MutedColumn; ++column)
                m_rooms->setItem(row, column, new QTableWidgetItem(texts.value(column - 1)));
            if (id == selected)
                m_rooms->selectRow(row);
        };
        for (const CampusRoom &room : known)
            if (room.shown)
                addRow(room.id, {DisplayText::shown(room.name, kMaxRoomName),
                                 room.connected ? QStringLiteral("在线") : QStringLiteral("离线"),
                                 QStringLiteral("%1%").arg(room.volume),
                                 room.muted ? QStringLiteral("是") : QStringLiteral("否")});
        // Named in a zone but never seen by the server: a room not set up yet, or a typo.
        for (const QString &id : unknown)
            addRow(id, {QString(), QStringLiteral("服务器未知")});
    }
    showZoneRooms();
}

QString CCampusDlg::selectedRoom() const {
    const QList<QTableWidgetItem *> items = m_rooms->selectedItems();
    for (const QTableWidgetItem *item : items)
        if (item->column() == IdColumn)
            return item->data(Qt::UserRole).toString();
    return {};
}

void CCampusDlg::selectRoom(const QString &id) {
    for (int row = 0; row < m_rooms->rowCount(); ++row)
        if (m_rooms->item(row, IdColumn)->data(Qt::UserRole).toString() == id)
            m_rooms->selectRow(row);
}

void CCampusDlg::showZones(const QString &current) {
    {
        const QSignalBlocker quiet(m_zones);
        m_zones->clear();
        for (const CampusConfig::Zone &zone : m_config.zones()) {
            auto *item = new QListWidgetItem(DisplayText::shown(zone.name), m_zones);
            item->setData(Qt::UserRole, zone.name);
            if (zone.name == current)
                item->setSelected(true);
        }
    }
    showZoneRooms();
}

QString CCampusDlg::selectedZone() const {
    const QList<QListWidgetItem *> items = m_zones->selectedItems();
    return items.isEmpty() ? QString() : items.first()->data(Qt::UserRole).toString();
}

void CCampusDlg::selectZone(const QString &name) {
    showZones(name);
}

void CCampusDlg::showZoneRooms() {
    const CampusConfig::Zone *zone = m_config.findZone(selectedZone());
    const CampusRooms &known = m_control.rooms();
    // The rooms the server knows, then those named in zones or typed here.
    QStringList ids;
    for (const CampusRoom &room : known)
        if (room.shown)
            ids << room.id;
    for (const CampusConfig::Zone &z : m_config.zones())
        ids << z.rooms;
    ids << m_typedIds;
    ids.removeDuplicates();
    const QSignalBlocker quiet(m_zoneRooms);
    m_zoneRooms->clear();
    for (const QString &id : std::as_const(ids)) {
        const auto room = std::find_if(known.cbegin(), known.cend(),
                                       [&](const CampusRoom &r) { return r.id == id; });
        QString text = DisplayText::shown(id, kMaxRoomName);
        if (room == known.cend())
            text += QStringLiteral("（服务器未知）");
        else if (!room->name.isEmpty() && room->name != id)
            text += QStringLiteral("（%1）").arg(DisplayText::shown(room->name, kMaxRoomName));
        auto *item = new QListWidgetItem(text, m_zoneRooms);
        item->setData(Qt::UserRole, id);
        item->setFlags(zone ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::NoItemFlags);
        item->setCheckState(zone && zone->rooms.contains(id) ? Qt::Checked : Qt::Unchecked);
    }
}

void CCampusDlg::zoneRoomTicked(QListWidgetItem *item) {
    m_ticks.append(
        {selectedZone(), item->data(Qt::UserRole).toString(), item->checkState() == Qt::Checked});
    // Stored from the event loop: the list is drawn anew afterwards (this item may be gone
    // by then) and shows what is stored, the tick refused or not.
    if (!m_storingTicks)
        QTimer::singleShot(0, this, &CCampusDlg::storeTicks);
}

// One tick after the other, each from the zone as the one before left it: a write that
// takes a while lets the event loop run, and ticks made meanwhile wait their turn.
void CCampusDlg::storeTicks() {
    if (m_storingTicks)
        return;
    m_storingTicks = true;
    while (!m_ticks.isEmpty()) {
        const Tick tick = m_ticks.takeFirst();
        const CampusConfig::Zone *zone = m_config.findZone(tick.zone);
        if (!zone)
            continue;
        QStringList rooms = zone->rooms;
        if (tick.on && !rooms.contains(tick.id))
            rooms << tick.id;
        else if (!tick.on)
            rooms.removeAll(tick.id);
        if (rooms != zone->rooms)
            change([&](CampusConfig &c) { return c.setZone(tick.zone, rooms); });
    }
    m_storingTicks = false;
    showRooms();
}

bool CCampusDlg::change(const std::function<StoreResult(CampusConfig &)> &work) {
    CampusConfig changed = m_config;
    const StoreResult result = waitOffThread([&] { return work(changed); });
    if (!result) {
        tell(this, result.error);
        return false;
    }
    m_config = std::move(changed);
    emit campusChanged();
    return true;
}

void CCampusDlg::StoreServer() {
    storeServer();
}

bool CCampusDlg::storeServer() {
    const CampusConfig::Server server = fieldServer();
    const bool stored = change([&](CampusConfig &c) { return c.setServer(server); });
    m_saved = stored;
    showServer(); // as stored (trimmed), or the settings in force
    showSaveState();
    return stored;
}

void CCampusDlg::TestConnection() {
    if (m_test && m_test->isRunning())
        return;
    const CampusConfig::Server server = fieldServer();
    if (server.address.isEmpty()) {
        tell(this, QStringLiteral("请输入广播服务器的地址。"));
        return;
    }
    // Made anew each time, with the signal's writer as it is now.
    delete m_test;
    m_test = new CampusConnectionTest(m_control, testSignal, this);
    connect(m_test, &CampusConnectionTest::progress, m_testResult, &QLabel::setText);
    connect(m_test, &CampusConnectionTest::finished, this, &CCampusDlg::testEnded);
    m_serverTouched = true;
    m_test->start(server, RequestTimeoutMs);
}

void CCampusDlg::testEnded(const QString &result) {
    m_testResult->setText(result);
    showConnection();
    showRooms();
}

void CCampusDlg::RenameRoom() {
    const QString id = selectedRoom();
    const CampusRooms &known = m_control.rooms();
    const auto room =
        std::find_if(known.cbegin(), known.cend(), [&](const CampusRoom &r) { return r.id == id; });
    if (id.isEmpty() || room == known.cend()) {
        tell(this, QStringLiteral("请先选择广播服务器上的终端。"));
        return;
    }
    const std::optional<QString> given = askText(
        this, QStringLiteral("终端改名"),
        QStringLiteral("终端“%1”的名称：").arg(DisplayText::shown(id, kMaxRoomName)), room->name);
    if (!given)
        return;
    const QString name = given->trimmed();
    if (name.isEmpty()) {
        tell(this, QStringLiteral("请输入名称。"));
        return;
    }
    if (name.size() > kMaxRoomName) {
        tell(this, QStringLiteral("名称太长，最多 %1 个字符。").arg(kMaxRoomName));
        return;
    }
    m_control.renameRoom(
        id, name, RequestTimeoutMs, this, [this, id](bool ok, const QString &failure) {
            if (!ok)
                tell(this, QStringLiteral("终端“%1”未能改名：%2")
                               .arg(DisplayText::shown(id, kMaxRoomName), failure));
            showRooms();
        });
}

void CCampusDlg::AddZone() {
    const std::optional<QString> given =
        askText(this, QStringLiteral("添加分区"), QStringLiteral("分区名称："), QString());
    if (!given)
        return;
    const QString name = given->trimmed();
    if (m_config.findZone(name)) {
        tell(this, QStringLiteral("已有名为“%1”的分区。").arg(name));
        return;
    }
    if (change([&](CampusConfig &c) { return c.setZone(name, {}); }))
        showZones(name);
}

void CCampusDlg::RenameZone() {
    const QString from = selectedZone();
    if (from.isEmpty()) {
        tell(this, QStringLiteral("请先选择要改名的分区。"));
        return;
    }
    const std::optional<QString> given =
        askText(this, QStringLiteral("分区改名"),
                QStringLiteral("分区“%1”的新名称：").arg(DisplayText::shown(from)), from);
    if (!given)
        return;
    const QString to = given->trimmed();
    // Its tasks are re-pointed in the same write.
    if (change([&](CampusConfig &c) { return c.renameZone(from, to); }))
        showZones(to);
}

void CCampusDlg::RemoveZone() {
    const QString name = selectedZone();
    if (name.isEmpty()) {
        tell(this, QStringLiteral("请先选择要删除的分区。"));
        return;
    }
    const QStringList tasks = m_config.tasksOf(name);
    QStringList toAll;
    for (const QString &task : tasks)
        if (m_config.zonesOf(task) == QStringList{name})
            toAll << task;
    QString question;
    if (tasks.isEmpty())
        question = QStringLiteral("确实要删除分区“%1”吗？").arg(name);
    else if (toAll.isEmpty())
        question = QStringLiteral("分区“%1”有 %2 个播放任务，删除后它们只在各自的其他分区播放。"
                                  "确实要删除吗？")
                       .arg(name)
                       .arg(tasks.size());
    else
        question = QStringLiteral("分区“%1”有 %2 个播放任务。删除后，%3 将在所有终端播放。"
                                  "确实要删除吗？")
                       .arg(name)
                       .arg(tasks.size())
                       .arg(DisplayText::shown(toAll.join(QStringLiteral("、"))));
    if (!ask(this, question))
        return;
    if (change([&](CampusConfig &c) { return c.removeZone(name); }))
        showZones(QString());
}

void CCampusDlg::AddRoomId() {
    const std::optional<QString> given =
        askText(this, QStringLiteral("添加终端 ID"),
                QStringLiteral("终端 ID（终端上 snapclient 的 --hostID）："), QString());
    if (!given)
        return;
    const QString id = given->trimmed();
    if (const QString problem = CampusConfig::nameProblem(id); !problem.isEmpty()) {
        tell(this, problem);
        return;
    }
    if (!m_typedIds.contains(id))
        m_typedIds << id;
    // Into the selected zone at once: a typed id is meant for it.
    const QString zoneName = selectedZone();
    if (const CampusConfig::Zone *zone = m_config.findZone(zoneName);
        zone && !zone->rooms.contains(id)) {
        const QStringList rooms = zone->rooms + QStringList{id};
        change([&](CampusConfig &c) { return c.setZone(zoneName, rooms); });
    }
    showRooms();
}

void CCampusDlg::Audition() {
    const CampusConfig::Zone *zone = m_config.findZone(selectedZone());
    if (!zone) {
        tell(this, QStringLiteral("请先选择要试听的分区。"));
        return;
    }
    if (!audition) {
        tell(this, QStringLiteral("现在不能试听。"));
        return;
    }
    if (isPlaying && isPlaying()) {
        tell(this, QStringLiteral("正在播放任务，请在播放结束后再试听。"));
        return;
    }
    if (zone->rooms.isEmpty()) {
        tell(this, QStringLiteral("分区“%1”中没有终端。").arg(DisplayText::shown(zone->name)));
        return;
    }
    audition(zone->rooms);
}

void CCampusDlg::done(int result) {
    if (serverEdited()) {
        if (ask(this, QStringLiteral("广播服务器的设置已修改，尚未保存。要保存吗？\n"
                                     "选“否”将放弃这些修改。"))) {
            if (!storeServer())
                return; // refused: the dialog stays open with the reason told
        } else {
            showServer();
        }
    }
    // The connection test may have pointed the connection elsewhere: the settings in force
    // are applied again.
    if (m_serverTouched) {
        m_serverTouched = false;
        emit campusChanged();
    }
    QDialog::done(result);
}
