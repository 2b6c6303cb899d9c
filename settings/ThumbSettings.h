// The user's thumbnail settings, one record owned by the main window. The
// settings panel edits the fields directly; the run, the scaling step and the
// page writer read them at the moment they need them.
#pragma once

#include <QString>
#include <QtGlobal>

namespace miniskop {

struct ThumbSettings {
    static constexpr qint16 kDefaultQuality = 90;

    QString groesseMin = QStringLiteral("120");  // thumbnail size bound, as typed
    QString anzTabelle = QStringLiteral("6");    // thumbnails per page row, as typed
    QString nameHTML = QStringLiteral("ThumbIndex.html");
    QString nameOrdner = QStringLiteral("Thumbnails");
    bool optE = true;  // true: affix before the name; false: after it
    QString zusatzAnfang = QStringLiteral("t_");
    QString zusatzEnde = QStringLiteral("_t");

    qint16 qJPG() const { return qJPG_; }
    // Accepts 1 to 100; any other value is refused and the field keeps its value.
    bool setQJPG(int value) {
        if (value < 1 || value > 100) return false;
        qJPG_ = static_cast<qint16>(value);
        return true;
    }

    // "Standardwerte": every field back to its default except the affix option.
    void restoreDefaults() {
        const bool keepOptE = optE;
        *this = ThumbSettings{};
        optE = keepOptE;
    }

private:
    qint16 qJPG_ = kDefaultQuality;
};

}  // namespace miniskop
