// What Qt's picture readers and the libraries behind them print while a
// picture is read ("libpng warning: ...", "libpng error: ..."), caught on the
// reading thread instead of going loose to stderr. A failed picture carries
// them in its reason; a picture that decodes drops them.
#pragma once

#include <QString>
#include <QStringList>

namespace miniskop {

// Catches the messages of the current thread while it lives. Instances nest;
// the innermost one catches. Messages of other threads, and messages while no
// instance lives, reach the handler that was installed before.
class CapturedDecoderMessages {
public:
    CapturedDecoderMessages();
    ~CapturedDecoderMessages();
    CapturedDecoderMessages(const CapturedDecoderMessages&) = delete;
    CapturedDecoderMessages& operator=(const CapturedDecoderMessages&) = delete;

    // `reason`, followed by the messages in parentheses when there are any.
    QString appendedTo(const QString& reason) const;

private:
    friend void catchDecoderMessage(const QString& message);
    QStringList messages_;
    CapturedDecoderMessages* outer_ = nullptr;
};

}  // namespace miniskop
