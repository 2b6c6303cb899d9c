// The rules for names of what a run writes. See NameRules.h.
#include "NameRules.h"

#include "Trimming.h"

namespace miniskop {
namespace {

bool isEmptyOrSingleName(const QString& text) {
    const QString name = trimSpaces(text);
    return name != QLatin1String(".") && name != QLatin1String("..") && isAcceptedAffix(name);
}

}  // namespace

bool isAcceptedFolderName(const QString& text) { return isEmptyOrSingleName(text); }

bool isAcceptedPageName(const QString& text) { return isEmptyOrSingleName(text); }

bool isAcceptedAffix(const QString& text) {
    return !text.contains(QLatin1Char('/')) && !text.contains(QChar(u'\0'));
}

}  // namespace miniskop
