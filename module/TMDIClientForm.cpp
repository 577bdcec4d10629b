#include "module/TMDIClientForm.h"

#include <QEvent>

TMDIClientForm::TMDIClientForm(host::Application* owner, QWidget* mainFormClientArea)
    : QWidget(nullptr), m_owner(owner), m_clientArea(mainFormClientArea) {
    if (!m_clientArea)
        return;
    // The set-parent operation: the form's own window becomes a child of the
    // area, with the area's size from the start.
    setParent(m_clientArea);
    setGeometry(m_clientArea->rect());
    m_clientArea->installEventFilter(this);
}

bool TMDIClientForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_clientArea && event->type() == QEvent::Resize)
        setGeometry(m_clientArea->rect());
    return QWidget::eventFilter(watched, event);
}
