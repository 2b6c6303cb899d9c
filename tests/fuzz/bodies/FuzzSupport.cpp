// Shared helpers of the fuzz bodies: property checks and turning bytes into
// pieces and text.
#include <QStringDecoder>
#include <cstdio>
#include <cstdlib>

#include "Cp1252.h"
#include "FuzzBodies.h"

namespace miniskop::fuzz {
namespace {

CheckHandler& handler() {
    static CheckHandler h;
    return h;
}

}  // namespace

void setCheckHandler(CheckHandler h) { handler() = std::move(h); }

void check(bool ok, const QString& what) {
    if (ok) return;
    if (handler()) {
        handler()(what);
        return;
    }
    std::fprintf(stderr, "property broken: %s\n", what.toUtf8().constData());
    std::abort();
}

QList<QByteArray> splitInput(const uint8_t* data, size_t size, char separator, int maxParts) {
    QList<QByteArray> parts;
    QByteArray current;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == separator && parts.size() + 1 < maxParts) {
            parts.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    parts.append(current);
    return parts;
}

QString textFrom(const QByteArray& bytes) {
    if (bytes.isEmpty()) return QString();
    const QByteArray rest = bytes.sliced(1);
    switch (static_cast<unsigned char>(bytes[0]) % 4) {
        case 0:
            return QString::fromUtf8(rest);
        case 1:
            return QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2);
        case 2:
            return QString::fromLatin1(rest);
        default:
            return cp1252::decode(rest);
    }
}

}  // namespace miniskop::fuzz
