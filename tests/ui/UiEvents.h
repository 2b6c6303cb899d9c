// Small stand-ins for user input in widget tests: mouse clicks and typed keys
// delivered as real events, and waiting for a signal with an upper bound that
// only a hung component reaches.
#pragma once

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace miniskop::testing {

// Presses and releases the left mouse button at `pos` (the centre by default).
inline void click(QWidget* widget, QPoint pos = QPoint(-1, -1)) {
    if (pos == QPoint(-1, -1)) pos = widget->rect().center();
    const QPointF local(pos);
    const QPointF global(widget->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// One key press and release; `text` is what the key types.
inline void key(QWidget* widget, int keyCode, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, keyCode, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, keyCode, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// Types `text` character by character.
inline void type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        const int code = c.isLetterOrNumber() ? c.toUpper().unicode() : c.unicode();
        key(widget, code, QString(c));
    }
}

// Runs the event loop until `sender` emits `signal` or `limitMs` passes; true
// when the signal came. The arguments of the first emission go to `onSignal`.
template <class Sender, class Signal, class Handler>
bool waitFor(Sender* sender, Signal signal, int limitMs, Handler onSignal) {
    QEventLoop loop;
    bool arrived = false;
    auto connection = QObject::connect(sender, signal, &loop, [&](auto... args) {
        if (!arrived) onSignal(args...);
        arrived = true;
        loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return arrived;
}

template <class Sender, class Signal>
bool waitFor(Sender* sender, Signal signal, int limitMs) {
    return waitFor(sender, signal, limitMs, [](auto...) {});
}

}  // namespace miniskop::testing
