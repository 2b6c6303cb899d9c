// An INI file held in memory line by line, so that a value can be looked up or
// set and the file written back with every other line byte for byte as it was.
// Text is Windows-1252.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "Expected.h"

namespace miniskop {

class IniDocument {
public:
    // Splits `bytes` into lines; CR LF and LF line ends are both read. The
    // line end used for new lines follows the file's first line end (CR LF for
    // a file without one).
    static IniDocument parse(const QByteArray& bytes);

    // Reads the file at `path`; a missing file gives an empty document, a file
    // that exists but cannot be read is a failure (writing it back would lose
    // its content).
    static Expected<IniDocument> load(const QString& path);

    // The value of the first `key` in the first `section` (names compared
    // trimmed and without regard to case), blanks and tabs around it removed;
    // nothing when the section or the key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Sets the first `key` of the first `section`, adding the key at the end of
    // the section or the section at the end of the file where missing. Section,
    // key and value must not hold a line break (it would turn into lines of its
    // own); such a call is refused.
    Status setValue(const QString& section, const QString& key, const QString& value);

    QByteArray toBytes() const;

private:
    struct Line {
        QByteArray raw;     // the line's bytes without its line end
        QByteArray ending;  // "\r\n", "\n" or empty (last line without a line end)
    };

    // Index of the section header line, or -1.
    qsizetype findSection(const QString& section) const;
    // Index of the key line inside the section that starts at `header`, or -1.
    qsizetype findKey(qsizetype header, const QString& key) const;
    // Where a new key of the section that starts at `header` goes: after the
    // section's last non-blank line, so blank lines before the next section
    // stay where they are.
    qsizetype insertionPoint(qsizetype header) const;
    void ensureLastLineEnded();

    std::vector<Line> lines_;
    QByteArray newline_ = "\r\n";
};

}  // namespace miniskop
