#include "module/TMDIClientForm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

// The frame of a form in a multi-document area. It deletes itself when closed
// and tells the form when it goes; while the area minimises, maximises or
// restores it, it says so, because the area hides and shows the form on the
// way.
class DocumentFrame : public QMdiSubWindow {
public:
    explicit DocumentFrame(TMDIClientForm* form) : m_form(form) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWidget(form);
    }
    // Runs before the frame's children (the form among them) are destroyed.
    ~DocumentFrame() override {
        if (m_form)
            m_form->m_frame = nullptr;
    }
    // The form is going first and no longer needs telling.
    void ReleaseForm() { m_form = nullptr; }
    bool ChangingState() const { return m_changingState; }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() != QEvent::WindowStateChange) {
            QMdiSubWindow::changeEvent(event);
            return;
        }
        const bool outer = m_changingState;
        m_changingState = true;
        QMdiSubWindow::changeEvent(event);
        m_changingState = outer;
    }

private:
    TMDIClientForm* m_form;
    bool m_changingState = false;
};

TMDIClientForm::TMDIClientForm(host::Application* owner, QWidget* mainFormClientArea)
    : QWidget(nullptr), m_owner(owner), m_clientArea(mainFormClientArea) {
    if (!m_clientArea)
        return;
    if (auto* area = qobject_cast<QMdiArea*>(m_clientArea)) {
        m_frame = new DocumentFrame(this);
        area->addSubWindow(m_frame);
        return;
    }
    // The set-parent operation: the form's own window becomes a child of the
    // area, with the area's size from the start.
    setParent(m_clientArea);
    setGeometry(m_clientArea->rect());
    m_clientArea->installEventFilter(this);
}

TMDIClientForm::~TMDIClientForm() {
    // Destroyed on its own (not by its frame): the frame must not stay behind
    // empty. The form leaves it first so that it is not destroyed twice.
    if (DocumentFrame* frame = m_frame) {
        m_frame = nullptr;
        frame->ReleaseForm();
        setParent(nullptr);
        delete frame;
    }
}

QMdiSubWindow* TMDIClientForm::Frame() const {
    return m_frame;
}

void TMDIClientForm::BringForward() {
    if (m_frame) {
        if (m_frame->isMinimized())
            m_frame->showNormal();
        if (QMdiArea* area = m_frame->mdiArea())
            area->setActiveSubWindow(m_frame);
    }
    raise();
    activateWindow();
    setFocus();
}

void TMDIClientForm::SetDesignSize(const QSize& size) {
    if (m_frame) {
        m_frame->resize(size);
        if (QLayout* layout = m_frame->layout())
            layout->activate(); // the form gets its share of the frame now
        const QSize room = m_frame->mdiArea()->viewport()->size();
        m_frame->move(std::max(0, (room.width() - size.width()) / 2),
                      std::max(0, (room.height() - size.height()) / 2));
        m_designClientSize = this->size();
        return;
    }
    m_designClientSize = size;
    if (m_clientArea)
        return; // a plain child fills the area
    resize(size);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMDIClientForm::showEvent(QShowEvent* event) {
    // Spontaneous: the window system mapped the host again (restored after
    // being minimised). A frame changing its state hides and shows the form
    // without the window becoming visible or invisible.
    if (!event->spontaneous() && !(m_frame && m_frame->ChangingState()))
        FormShow();
    QWidget::showEvent(event);
}

void TMDIClientForm::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // Closing the form (WM_CLOSE) closes its frame too; when the frame's own
    // close control started it, this second request does nothing.
    if (event->isAccepted() && m_frame)
        m_frame->close();
}

void TMDIClientForm::SetIcon(const QIcon& icon) {
    setWindowIcon(icon);
    // The frame follows the form's caption by itself, not its icon.
    if (m_frame)
        m_frame->setWindowIcon(icon);
}

bool TMDIClientForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_clientArea && event->type() == QEvent::Resize)
        setGeometry(m_clientArea->rect());
    return QWidget::eventFilter(watched, event);
}
