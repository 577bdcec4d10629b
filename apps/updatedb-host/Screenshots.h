// Renders the demo host with the task window on each of its tabs into PNG
// files, after driving the window through a real update run and deletion, so
// that the pictures show it at work. For the README.
#pragma once

#include "HostWindow.h"

#include <QString>

// Writes update-tab.png and delete-tab.png into `folder`. `patch`: the patch
// file the update run applies (may be empty: no run). Returns false, with a
// message on stderr, when the task could not be opened or a file written.
bool SaveScreenshots(HostWindow& hostWindow, const QString& folder, const QString& patch);
