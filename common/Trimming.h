// Removing blanks at the ends of a text, in the two meanings the program
// uses: the names the user types (folder, affixes, page name, file pattern)
// lose their spaces only, so a tab stays part of the name; the settings file
// and its numbers lose spaces and tabs alike.
#pragma once

#include <QString>
#include <QStringView>

namespace miniskop {

// `text` without the spaces at its start and end; tabs and every other
// character stay.
QString trimSpaces(const QString& text);

// `text` without the spaces and tabs at its start and end.
QStringView trimSpacesAndTabs(QStringView text);

}  // namespace miniskop
