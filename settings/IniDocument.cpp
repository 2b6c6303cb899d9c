// In-memory INI file: line splitting, section and key lookup, and setting a
// value with the smallest change to the file's bytes.
#include "IniDocument.h"

#include <QFile>

#include "Cp1252.h"
#include "Trimming.h"

namespace miniskop {
namespace {

const QByteArray kUtf8Bom = "\xEF\xBB\xBF";

// The line's text as the lookup sees it: decoded, a byte order mark on the
// first line ignored, blanks around it removed.
QString lineText(const QByteArray& raw, bool first) {
    const QByteArray body = first && raw.startsWith(kUtf8Bom) ? raw.sliced(kUtf8Bom.size()) : raw;
    return trimSpacesAndTabs(cp1252::decode(body)).toString();
}

// "[name]" gives the name (trimmed); anything else gives nothing.
std::optional<QString> sectionName(const QString& text) {
    if (!text.startsWith(QLatin1Char('['))) return std::nullopt;
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0) return std::nullopt;
    return trimSpacesAndTabs(text.sliced(1, close - 1)).toString();
}

struct KeyValue {
    QString key;
    QString value;
};

// "key=value" (blanks around either allowed); comments (";") and lines without
// "=" give nothing.
std::optional<KeyValue> keyValue(const QString& text) {
    if (text.startsWith(QLatin1Char(';'))) return std::nullopt;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0) return std::nullopt;
    return KeyValue{trimSpacesAndTabs(text.first(eq)).toString(),
                    trimSpacesAndTabs(text.sliced(eq + 1)).toString()};
}

bool sameName(const QString& a, const QString& b) {
    return trimSpacesAndTabs(a).compare(trimSpacesAndTabs(b), Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

}  // namespace

IniDocument IniDocument::parse(const QByteArray& bytes) {
    IniDocument doc;
    bool styleFound = false;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        if (lf < 0) {
            doc.lines_.push_back({bytes.sliced(pos), QByteArray()});
            break;
        }
        const bool crlf = lf > pos && bytes[lf - 1] == '\r';
        const qsizetype bodyEnd = crlf ? lf - 1 : lf;
        doc.lines_.push_back({bytes.sliced(pos, bodyEnd - pos), crlf ? "\r\n" : "\n"});
        if (!styleFound) {
            doc.newline_ = crlf ? "\r\n" : "\n";
            styleFound = true;
        }
        pos = lf + 1;
    }
    return doc;
}

Expected<IniDocument> IniDocument::load(const QString& path) {
    QFile file(path);
    if (!file.exists()) return IniDocument{};
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    }
    return parse(bytes);
}

qsizetype IniDocument::findSection(const QString& section) const {
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines_.size()); ++i) {
        const auto name = sectionName(lineText(lines_[i].raw, i == 0));
        if (name && sameName(*name, section)) return i;
    }
    return -1;
}

qsizetype IniDocument::findKey(qsizetype header, const QString& key) const {
    for (qsizetype i = header + 1; i < static_cast<qsizetype>(lines_.size()); ++i) {
        const QString text = lineText(lines_[i].raw, false);
        if (sectionName(text)) break;
        const auto kv = keyValue(text);
        if (kv && sameName(kv->key, key)) return i;
    }
    return -1;
}

qsizetype IniDocument::insertionPoint(qsizetype header) const {
    qsizetype after = header + 1;
    for (qsizetype i = header + 1; i < static_cast<qsizetype>(lines_.size()); ++i) {
        const QString text = lineText(lines_[i].raw, false);
        if (sectionName(text)) break;
        if (!text.isEmpty()) after = i + 1;
    }
    return after;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const {
    const qsizetype header = findSection(section);
    if (header < 0) return std::nullopt;
    const qsizetype line = findKey(header, key);
    if (line < 0) return std::nullopt;
    return keyValue(lineText(lines_[line].raw, false))->value;
}

void IniDocument::ensureLastLineEnded() {
    if (lines_.empty() || !lines_.back().ending.isEmpty()) return;
    // A last line that ends in a lone CR would lose it to an LF placed after
    // it (CR LF reads as one line end); ending it with CR LF keeps the CR.
    Line& last = lines_.back();
    last.ending = last.raw.endsWith('\r') ? QByteArray("\r\n") : newline_;
}

Status IniDocument::setValue(const QString& section, const QString& key, const QString& value) {
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) {
        return fail(QStringLiteral("Zeilenumbruch in [%1] %2").arg(section, key));
    }
    const QByteArray keyLine = cp1252::encodeLossy(key + QLatin1Char('=') + value);
    const qsizetype header = findSection(section);
    if (header < 0) {
        ensureLastLineEnded();
        lines_.push_back(
            {cp1252::encodeLossy(QLatin1Char('[') + section + QLatin1Char(']')), newline_});
        lines_.push_back({keyLine, newline_});
        return Status::success();
    }
    const qsizetype existing = findKey(header, key);
    if (existing >= 0) {
        lines_[existing].raw = keyLine;  // the line keeps its own line end
        return Status::success();
    }
    const qsizetype at = insertionPoint(header);
    if (at == static_cast<qsizetype>(lines_.size())) ensureLastLineEnded();
    lines_.insert(lines_.begin() + at, Line{keyLine, newline_});
    return Status::success();
}

QByteArray IniDocument::toBytes() const {
    QByteArray out;
    for (const Line& line : lines_) out.append(line.raw).append(line.ending);
    return out;
}

}  // namespace miniskop
