#pragma once

// While a registration runs, user input reaches only "中止": the tool button
// and the menu bar, in which every other command is disabled for the run.
// Other input is dropped rather than held back, so that no command given
// during the run starts on the same tables once it ends.

#include <QObject>
#include <memory>

class QAction;
class QMenuBar;
class QWidget;

namespace app {

// Lasts as long as the run: its destruction enables again what it disabled.
std::unique_ptr<QObject> makeStopOnlyInput(QWidget* stopButton, QMenuBar* bar, QAction* stopAction);

} // namespace app
