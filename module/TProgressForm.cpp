#include "module/TProgressForm.h"

#include "module/public/UpdateDbTask.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

TProgressForm::TProgressForm()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint) {
    setObjectName("ProgressForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("Подождите, пожалуйста ..."));
    setFixedSize(313, 48);
    setCursor(Qt::WaitCursor);

    Label = new QLabel(QString::fromUtf8("Подождите, пожалуйста ..."), this);
    Label->setObjectName("Label");
    Label->setGeometry(4, 4, 305, 17);

    Progress = new QProgressBar(this);
    Progress->setObjectName("Progress");
    Progress->setGeometry(4, 25, 305, 17);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);

    CentreOnMainForm();
}

void TProgressForm::CentreOnMainForm() {
    auto* application = dynamic_cast<TaskHostApplication*>(&host::CurrentApplication());
    if (!application || !application->ClientArea())
        return;
    const QWidget* mainForm = application->ClientArea()->window();
    move(mainForm->geometry().center() - rect().center());
}

void TProgressForm::closeEvent(QCloseEvent* event) {
    if (MayClose)
        event->accept();
    else
        event->ignore();
}

QtProgressWindow::QtProgressWindow() : m_form(new TProgressForm) {}

QtProgressWindow::~QtProgressWindow() {
    if (m_form) {
        m_form->MayClose = true;
        delete m_form.data();
    }
}

void QtProgressWindow::SetCaption(const std::string& caption) {
    if (m_form)
        m_form->setWindowTitle(QString::fromStdString(caption));
}

void QtProgressWindow::SetLabel(const std::string& text) {
    if (!m_form)
        return;
    m_form->Label->setText(QString::fromStdString(text));
    m_form->Label->repaint();
}

void QtProgressWindow::SetMax(int max) {
    if (m_form)
        m_form->Progress->setMaximum(max);
}

// The loader runs on the user-interface thread without pumping events; the
// bar is painted at once so the window shows the progress all the same.
void QtProgressWindow::SetPosition(int position) {
    if (!m_form)
        return;
    m_form->Progress->setValue(position);
    m_form->Progress->repaint();
}

void QtProgressWindow::Show() {
    if (m_form)
        m_form->show();
}

void QtProgressWindow::SetMayClose(bool mayClose) {
    if (m_form)
        m_form->MayClose = mayClose;
}

void QtProgressWindow::Close() {
    if (m_form)
        m_form->close();
}
