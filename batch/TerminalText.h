// Text bound for a terminal whose names come from the file system: a name
// may hold control characters (an escape sequence that moves the cursor,
// clears the screen or sets the window title), which are shown as "?", as
// ls does, so that a file name cannot drive the user's terminal. Line breaks
// and tabs stay; other bytes, UTF-8 or not, go out as they are.
#pragma once

#include <QString>

namespace miniskop {

QString printableOnTerminal(const QString& text);

}  // namespace miniskop
