// The second wait window: a caption and the bar ProgressBar1. It is part of
// the module's resources only; nothing creates or shows it.
#pragma once

#include <QWidget>

class QProgressBar;

class Tdlg_Idle : public QWidget {
public:
    Tdlg_Idle();

    QProgressBar* ProgressBar1;
};
