#pragma once

#include "app/MainController.h"
#include "app/widgets/MainWindow.h"
#include "ui/QtUserInterface.h"

// The program as its entry assembles it: the user-interaction port with real dialogs, the
// controller, and the window observing it. The window goes first at the end, as in main().
struct ProgramParts {
    QtUserInterface m_ui;
    MainController m_controller{m_ui};
};

class ProgramWindow : private ProgramParts, public MainWindow {
public:
    ProgramWindow() : MainWindow(ProgramParts::m_controller) { ProgramParts::m_ui.setOwner(this); }
};
