#pragma once

class MainWindow;

// Shows the controller's status texts, bandwidth meter and version check in the window:
// the title, the pane and queue captions, the start/stop button, the progress bar, the
// meter graph with its menu, and the "New Version Check" window.
void bindStatusViews(MainWindow &window);
