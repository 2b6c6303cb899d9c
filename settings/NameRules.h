// Which names the user may give for what a run writes. The thumbnail folder
// and the page are single names inside the picture folder; the affixes are
// parts of a name. None of them may lead out of the picture folder: no "/",
// and neither "." nor "..". The command line refuses other values, the
// settings file falls back to the default, the settings panel does not take
// them.
#pragma once

#include <QString>

namespace miniskop {

// `text`, blanks at its ends trimmed, is empty (the picture folder itself) or
// a single name.
bool isAcceptedFolderName(const QString& text);

// `text`, blanks at its ends trimmed, is empty (the run then asks for a
// name) or a single name.
bool isAcceptedPageName(const QString& text);

// `text` holds no "/" (and no NUL, which would end the name early).
bool isAcceptedAffix(const QString& text);

}  // namespace miniskop
