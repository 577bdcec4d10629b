// The base of the task window: a Qt widget placed into the host main form's
// document area. In a multi-document area (QMdiArea) the form becomes the
// inside of a document window of its own: a frame with the form's caption,
// system menu and minimise, maximise and close controls; closing either closes
// both. In any other widget it becomes a plain child that keeps filling the
// area. Without an area it stays a top-level window. The area owns what was
// placed into it; destroying the form also removes its frame.
#pragma once

#include "platform/host/Application.h"

#include <QPointer>
#include <QWidget>

class QMdiSubWindow;
class DocumentFrame;

class TMDIClientForm : public QWidget {
public:
    // owner: the application object the window works for (kept, not owned);
    // mainFormClientArea: the document area of the host main form, or null.
    TMDIClientForm(host::Application* owner, QWidget* mainFormClientArea);
    ~TMDIClientForm() override;

    host::Application* Owner() const { return m_owner; }
    // The document window's frame in a multi-document area; null otherwise
    // and once the frame is gone.
    QMdiSubWindow* Frame() const;
    // Brings the window to the front: a minimised frame is restored, the
    // frame becomes the area's active window, the form gets the input focus.
    void BringForward();

protected:
    // Gives the document window (the frame, or a top-level form) `size` and
    // centres it in the area (on the screen when top-level; never above or
    // left of the area's corner). A form that fills a plain area keeps
    // filling it. Remembers the form's own size at that point
    // (DesignClientSize).
    void SetDesignSize(const QSize& size);
    // The size of the form when its document window has its design size:
    // what widgets anchored to the right and bottom edges measure from.
    QSize DesignClientSize() const { return m_designClientSize; }

    // The icon of the form and of its frame.
    void SetIcon(const QIcon& icon);

    // Runs each time the document window becomes visible. Not when the host
    // main form is restored after being minimised, nor when the frame is
    // minimised, maximised or restored inside the area.
    virtual void FormShow() {}

    void showEvent(QShowEvent* event) override;
    // Closes the frame with the form (derived classes call it last).
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class DocumentFrame;

    host::Application* m_owner;
    QWidget* m_clientArea;
    // Cleared by the frame as it starts to be destroyed.
    DocumentFrame* m_frame = nullptr;
    QSize m_designClientSize;
};
