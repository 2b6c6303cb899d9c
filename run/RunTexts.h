// The run's own texts, shown in its message boxes and labels, in one table.
#pragma once

#include <QString>

namespace miniskop::runtext {

inline const QString kInfoTitle = QStringLiteral("Thumbnail-Info");
inline const QString kErrorTitle = QStringLiteral("FEHLER");
inline const QString kEmptyList = QStringLiteral(
    "Im ausgewählten Ordner befinden sich keine, vom Programm unterstützten, Bilddateien. "
    "Bitte erst einen Ordner auswählen, in dem Bilddateien vorhanden sind !");
inline const QString kFolderFailed =
    QStringLiteral("Der Thumbnail-Ziel-Ordner kann nicht erstellt werden!");
inline const QString kNoPageName =
    QStringLiteral("Bitte einen namen für die HtmlSeite angeben. <name>.html");
inline const QString kCount = QStringLiteral("Anzahl erzeugter Thumbnails: ");
inline const QString kFinished = QStringLiteral("Thumbnail Generierung beendet...");

}  // namespace miniskop::runtext
