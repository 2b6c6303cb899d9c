// The file list: reads a folder once with readdir, keeps the regular files whose
// names match the pattern and sorts them by name without regard to case. The
// entry type from readdir is trusted; only links and file systems that do not
// report a type cost a stat call, so large folders list quickly. The same pass
// can also collect the sub-folders and the files of given extensions that the
// pattern leaves out (what the window shows beside the list).
#include "FileList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "FileNameBytes.h"

namespace miniskop {
namespace {

// One wildcard item, case-folded once so that matching compares plain
// characters.
struct WildcardItem {
    QString folded;       // the item itself
    QString foldedNoExt;  // the item less a closing ".*", or empty when it has none
};

// Whether `name` matches `pattern` ("*" any run, "?" one character); both are
// already case-folded. Greedy scan that backtracks to the last "*" seen.
bool globMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0, n = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == QLatin1Char('?') || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*')) ++p;
    return p == pattern.size();
}

std::vector<WildcardItem> compileItems(const QString& pattern) {
    std::vector<WildcardItem> items;
    for (const QString& raw : pattern.split(QLatin1Char(';'))) {
        WildcardItem item;
        item.folded = raw.trimmed().toCaseFolded();
        if (item.folded.endsWith(QLatin1String(".*"))) item.foldedNoExt = item.folded.chopped(2);
        items.push_back(std::move(item));
    }
    return items;
}

// `folded` is the file name, already case-folded.
bool matchesAny(const std::vector<WildcardItem>& items, const QString& folded) {
    for (const WildcardItem& item : items) {
        if (globMatch(item.folded, folded)) return true;
        // "name.*" also stands for "name" without any extension, so "*.*"
        // lists every file, dotless names included.
        if (item.folded.endsWith(QLatin1String(".*")) && !folded.contains(QLatin1Char('.')) &&
            globMatch(item.foldedNoExt, folded)) {
            return true;
        }
    }
    return false;
}

// A listed name with its case-folded form, which serves as the sort key:
// comparing folded texts orders names as a comparison without regard to case
// does, at the cost of one folding per name instead of one per comparison.
struct ListedName {
    QString folded;
    QString name;
};

bool lessByName(const ListedName& a, const ListedName& b) {
    const int c = QString::compare(a.folded, b.folded, Qt::CaseSensitive);
    if (c != 0) return c < 0;
    return QString::compare(a.name, b.name, Qt::CaseSensitive) < 0;
}

Unexpected<Failure> systemFailure(const QString& folder, int err) {
    return fail(QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(err))));
}

// The extension of a case-folded name: what follows its last dot, or empty.
QString extensionOf(const QString& folded) {
    const qsizetype dot = folded.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : folded.mid(dot + 1);
}

QStringList sortedNames(std::vector<ListedName>& listed) {
    std::sort(listed.begin(), listed.end(), lessByName);
    QStringList names;
    names.reserve(static_cast<qsizetype>(listed.size()));
    for (ListedName& n : listed) names.append(std::move(n.name));
    return names;
}

}  // namespace

bool FileList::matches(const QString& pattern, const QString& name) {
    return matchesAny(compileItems(pattern), name.toCaseFolded());
}

bool FileList::isValidPattern(const QString& pattern) {
    for (const QString& raw : pattern.split(QLatin1Char(';'))) {
        const QString item = raw.trimmed();
        if (item.isEmpty() || item.contains(QLatin1Char('/'))) return false;
        for (QChar c : item) {
            if (c.category() == QChar::Other_Control) return false;
        }
    }
    return true;
}

QString FileList::normalisedFolder(const QString& folder) { return absoluteCleanPath(folder); }

Expected<QStringList> listFolder(const QString& folder, const QString& pattern) {
    FolderReadRequest request;
    request.pattern = pattern;
    Expected<FolderReading> reading = readFolder(folder, request);
    if (!reading) return unexpected(reading.error());
    return std::move(reading->entries);
}

Expected<FolderReading> readFolder(const QString& folder, const FolderReadRequest& request) {
    if (folder.isEmpty()) return fail(QStringLiteral("Kein Ordner angegeben"));
    const QByteArray encoded = nameToBytes(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) return systemFailure(folder, errno);

    const std::vector<WildcardItem> items = compileItems(request.pattern);
    const int dirFd = ::dirfd(dir);
    std::vector<ListedName> listed;
    std::vector<ListedName> subfolders;
    std::map<QString, std::vector<ListedName>> unlisted;
    int readError = 0;
    for (;;) {
        if (request.stop && request.stop->load(std::memory_order_relaxed)) {
            ::closedir(dir);
            return fail(QStringLiteral("%1: abgebrochen").arg(folder));
        }
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            readError = errno;
            break;
        }
        if (e->d_name[0] == '.') continue;  // hidden files, "." and ".."
        const unsigned char type = e->d_type;
        const bool unsure = type == DT_LNK || type == DT_UNKNOWN;
        const bool maybeFile = request.files && (type == DT_REG || unsure);
        const bool maybeFolder = request.subfolders && (type == DT_DIR || unsure);
        if (!maybeFile && !maybeFolder) continue;

        QString name = nameFromBytes(e->d_name);
        QString folded = name.toCaseFolded();
        // What the entry is wanted as, decided on its name before any stat.
        const bool matched = maybeFile && matchesAny(items, folded);
        QString other;
        if (maybeFile && !matched && !request.otherExtensions.isEmpty()) {
            other = extensionOf(folded);
            if (!request.otherExtensions.contains(other)) other.clear();
        }
        if (!matched && other.isEmpty() && !maybeFolder) continue;

        // The type from readdir is trusted; a link counts as what it leads to
        // (dangling links count as nothing), and so does an unreported type.
        bool isFile = type == DT_REG;
        bool isFolder = type == DT_DIR;
        if (unsure) {
            struct stat st;
            if (::fstatat(dirFd, e->d_name, &st, 0) != 0) continue;
            isFile = S_ISREG(st.st_mode);
            isFolder = S_ISDIR(st.st_mode);
        }
        if (isFolder && request.subfolders) {
            subfolders.push_back({std::move(folded), std::move(name)});
        } else if (isFile && matched) {
            listed.push_back({std::move(folded), std::move(name)});
        } else if (isFile && !other.isEmpty()) {
            unlisted[other].push_back({std::move(folded), std::move(name)});
        }
    }
    ::closedir(dir);
    if (readError != 0) return systemFailure(folder, readError);

    FolderReading reading;
    reading.entries = sortedNames(listed);
    reading.subfolders = sortedNames(subfolders);
    for (auto& [extension, names] : unlisted) reading.unlisted[extension] = sortedNames(names);
    return reading;
}

Status FileList::setPath(const QString& folder) {
    if (folder.isEmpty()) return fail(QStringLiteral("Kein Ordner angegeben"));
    const QString normalised = normalisedFolder(folder);
    Expected<QStringList> listed = listFolder(normalised, pattern_);
    if (!listed) return unexpected(listed.error());
    path_ = normalised;
    entries_ = std::move(listed).value();
    return {};
}

Status FileList::setPattern(const QString& pattern) {
    if (!isValidPattern(pattern)) {
        return fail(QStringLiteral("Ungültiges Dateimuster: %1").arg(pattern));
    }
    if (path_.isEmpty()) {
        pattern_ = pattern;
        return {};
    }
    Expected<QStringList> listed = listFolder(path_, pattern);
    if (!listed) return unexpected(listed.error());
    pattern_ = pattern;
    entries_ = std::move(listed).value();
    return {};
}

void FileList::assign(const QString& folder, const QString& pattern, QStringList entries) {
    path_ = folder;
    pattern_ = pattern;
    entries_ = std::move(entries);
}

QString FileList::List(int i) const {
    if (i < 0 || i >= entries_.size()) return QString();
    return entries_.at(i);
}

}  // namespace miniskop
