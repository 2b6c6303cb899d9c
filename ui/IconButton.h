// A push button that shows its icon above its caption, as the window's
// buttons do. It stays a QPushButton, so keyboard use and accessibility are
// those of a plain button: an accessibility client's "press" is an animated
// click that returns at once, even when the click starts a long run.
#pragma once

#include <QPushButton>

namespace miniskop {

class IconButton : public QPushButton {
    Q_OBJECT
public:
    explicit IconButton(const QString& caption, const QIcon& icon, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace miniskop
