// Control characters shown as "?". See TerminalText.h.
#include "TerminalText.h"

namespace miniskop {

QString printableOnTerminal(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u <= 0x9f);
        if (control && u != u'\n' && u != u'\t') c = QLatin1Char('?');
    }
    return shown;
}

}  // namespace miniskop
