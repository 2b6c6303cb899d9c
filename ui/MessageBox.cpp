// The one function through which the program shows its message boxes: a modal
// box with the given icon, text and title and a single OK button. Tests set an
// interceptor and receive the message instead of a box.
#include "MessageBox.h"

#include <QMessageBox>

namespace miniskop {

namespace {

MessageInterceptor& interceptor() {
    static MessageInterceptor current;
    return current;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Plain:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void MsgBox(QWidget* parent, const QString& text, MessageIcon icon, const QString& title) {
    if (interceptor()) {
        // Copy first: the interceptor may clear itself while it runs.
        const MessageInterceptor handler = interceptor();
        handler(ShownMessage{text, icon, title});
        return;
    }
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void setMessageInterceptor(MessageInterceptor interceptor_) {
    interceptor() = std::move(interceptor_);
}

}  // namespace miniskop
