#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The questions a settings dialog puts to the user, under the dialog's own title. Dialogs hold
// them as replaceable members so that tests can answer instead of the user.
namespace Prompts {

using Tell = std::function<void(QWidget *, const QString &)>;
using Ask = std::function<bool(QWidget *, const QString &)>;
// caption, label, proposed text; nothing when the user cancels.
using AskText = std::function<std::optional<QString>(QWidget *, const QString &, const QString &,
                                                     const QString &)>;

Tell warning(const QString &title);
Tell information(const QString &title);
Ask question(const QString &title);
AskText text();

} // namespace Prompts
