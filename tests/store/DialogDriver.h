#pragma once
#include <QApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTimer>

#include <functional>

// Drives a modal dialog from inside its own event loop: `inside` runs once the dialog is
// the active modal window; a dialog it leaves open is cancelled, so that a failing check
// never hangs the test. The driver is armed while it lives: when no dialog opened in its
// lifetime, `inside` never runs, not even in a later test's dialog.
template <class Dialog>
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(Dialog&)> inside) : m_inside(std::move(inside))
    {
        m_timer.setSingleShot(true);
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_opened = true;
            m_inside(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        m_timer.start();
    }
    bool opened() const { return m_opened; }

private:
    std::function<void(Dialog&)> m_inside;
    QTimer m_timer;
    bool m_opened = false;
};

// Types text as an input method commits it (key clicks cannot carry CJK text), over the
// selection or at the cursor.
inline void typeInto(QLineEdit* edit, const QString& text)
{
    if (!edit->hasFocus())
        edit->setFocus();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(edit, &commit);
}
