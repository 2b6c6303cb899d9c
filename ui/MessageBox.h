// Every message box of the program goes through MsgBox, so tests can intercept
// it: with an interceptor set, the box is not shown and the interceptor gets
// its text, icon and title instead.
#pragma once

#include <QString>
#include <functional>

#include "RunHost.h"

class QWidget;

namespace miniskop {

struct ShownMessage {
    QString text;
    MessageIcon icon;
    QString title;
};

using MessageInterceptor = std::function<void(const ShownMessage&)>;

// Shows a modal message box with one OK button (or hands it to the interceptor).
void MsgBox(QWidget* parent, const QString& text, MessageIcon icon, const QString& title);

// Sets (or, with an empty function, clears) the interceptor.
void setMessageInterceptor(MessageInterceptor interceptor);

}  // namespace miniskop
