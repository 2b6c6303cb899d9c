// Catching the picture readers' messages per thread. See DecoderMessages.h.
#include "DecoderMessages.h"

#include <QtGlobal>
#include <atomic>
#include <mutex>

namespace miniskop {
namespace {

thread_local CapturedDecoderMessages* current = nullptr;
std::atomic<QtMessageHandler> previous{nullptr};

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Installed once, the first time a picture is read; it stays installed and
// passes on everything that is not caught.
void installHandler() {
    static std::once_flag once;
    std::call_once(once, [] { previous.store(qInstallMessageHandler(handler)); });
}

}  // namespace

void catchDecoderMessage(const QString& message) {
    // Library messages repeat themselves ("Invalid color type" as a warning,
    // then as the error); each is kept once.
    if (!current->messages_.contains(message)) current->messages_.append(message);
}

namespace {

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (current != nullptr && type != QtFatalMsg) {
        catchDecoderMessage(message);
        return;
    }
    // Qt hands back its default handler when nothing else was installed.
    if (const QtMessageHandler before = previous.load()) before(type, context, message);
}

}  // namespace

CapturedDecoderMessages::CapturedDecoderMessages() : outer_(current) {
    installHandler();
    current = this;
}

CapturedDecoderMessages::~CapturedDecoderMessages() { current = outer_; }

QString CapturedDecoderMessages::appendedTo(const QString& reason) const {
    if (messages_.isEmpty()) return reason;
    return reason + QStringLiteral(" (") + messages_.join(QStringLiteral("; ")) + QLatin1Char(')');
}

}  // namespace miniskop
