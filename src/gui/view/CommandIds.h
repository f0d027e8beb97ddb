#pragma once

// Command ids shared by the menu, the toolbar and the form's buttons of the same meaning.
namespace CommandId {
constexpr int ShowAll = 1002;
constexpr int ShowToday = 1016;
constexpr int ShowWeek = 1017;
constexpr int ShowMonth = 1018;
constexpr int NewTask = 1019;
constexpr int HomePage = 1020;
constexpr int ModifyTask = 1021;
constexpr int DeleteTask = 1022;
constexpr int Unassigned = 1023; // a toolbar button no command handles
constexpr int Help = 1063;
constexpr int SendMail = 1068;
constexpr int HiddenHelpButton = 1119; // the form's hidden help button
constexpr int RemoveRow = 32787;
constexpr int TrayOpen = 32800;
constexpr int TrayHide = 32801;
constexpr int Backup = 32804;
constexpr int Import = 32805;
constexpr int Autostart = 32806;     // "开机自动运行": start at login
constexpr int Calendar = 32810;      // 节假日和调休
constexpr int Timetables = 32811;    // 作息表…
constexpr int Campus = 32812;        // 广播分区…
constexpr int PlayLogViewer = 32820; // 播放记录…
constexpr int ToggleToolBar = 59392;
constexpr int ToggleStatusBar = 59393;
constexpr int About = 57664;
constexpr int Exit = 57665;
} // namespace CommandId
