#include "module/Tdlg_Idle.h"

#include <QProgressBar>

Tdlg_Idle::Tdlg_Idle()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("dlg_Idle");
    setWindowTitle(QString::fromUtf8("Пожалуйста подождите..."));
    setFixedSize(277, 54);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(5, 24, 265, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
}
