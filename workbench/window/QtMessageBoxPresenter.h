// Message boxes as modal QMessageBoxes over the active window: the presenter
// a Qt host gives its application object.
#pragma once

#include "platform/host/MessageBox.h"

class QtMessageBoxPresenter : public host::MessageBoxPresenter {
public:
    int Show(const host::MessageBoxRequest& request) override;
};
