// The base of the task window: a plain Qt widget that, given the host main
// form's document area, becomes a child of that area by re-parenting (it is
// no MDI sub-window) and keeps filling it as the area is resized. Without an
// area it stays a top-level window. The area owns the widget once re-parented.
#pragma once

#include "platform/host/Application.h"

#include <QWidget>

class TMDIClientForm : public QWidget {
public:
    // owner: the application object the window works for (kept, not owned);
    // mainFormClientArea: the document area of the host main form, or null.
    TMDIClientForm(host::Application* owner, QWidget* mainFormClientArea);

    host::Application* Owner() const { return m_owner; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    host::Application* m_owner;
    QWidget* m_clientArea;
};
