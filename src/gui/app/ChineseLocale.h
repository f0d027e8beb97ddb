#pragma once

// The interface is Chinese whatever the system's locale (a machine set to C.UTF-8 or
// en_US included): month and day names of the calendar pop-ups, Qt's own dialogs and
// buttons. Stored dates and times do not depend on it: they are written with fixed formats.
namespace ChineseLocale {
// Call once after the application object exists and before any widget is made.
void install();
} // namespace ChineseLocale
