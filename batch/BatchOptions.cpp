// Reading miniskop-batch's command line into BatchOptions.
#include "BatchOptions.h"

#include <map>

#include "FileList.h"
#include "MemorySize.h"
#include "NameRules.h"

namespace miniskop {

namespace {

enum class Opt {
    Pattern,
    Size,
    PerRow,
    PageName,
    FolderName,
    Quality,
    Prefix,
    Suffix,
    Jobs,
    Memory
};

const std::map<QString, Opt>& valueOptions() {
    static const std::map<QString, Opt> options = {
        {QStringLiteral("--pattern"), Opt::Pattern},
        {QStringLiteral("--size"), Opt::Size},
        {QStringLiteral("--per-row"), Opt::PerRow},
        {QStringLiteral("--page-name"), Opt::PageName},
        {QStringLiteral("--folder-name"), Opt::FolderName},
        {QStringLiteral("--quality"), Opt::Quality},
        {QStringLiteral("--prefix"), Opt::Prefix},
        {QStringLiteral("--suffix"), Opt::Suffix},
        {QStringLiteral("--jobs"), Opt::Jobs},
        {QStringLiteral("-j"), Opt::Jobs},
        {QStringLiteral("--memory"), Opt::Memory},
    };
    return options;
}

// What is written goes into the picture folder, never elsewhere.
Unexpected<Failure> singleNameRefused(const QString& option, const QString& value) {
    return fail(QStringLiteral("%1 needs a single name inside the folder (no \"/\", not \".\" "
                               "or \"..\"), not \"%2\"")
                    .arg(option, value));
}

Unexpected<Failure> affixRefused(const QString& option, const QString& value) {
    return fail(QStringLiteral("%1 must not contain \"/\": \"%2\"").arg(option, value));
}

// Stores the value of one option; a failure names the reason.
Status storeValue(BatchOptions& options, Opt opt, const QString& name, const QString& value) {
    switch (opt) {
        case Opt::Pattern: {
            const QString pattern = value.trimmed();
            if (!FileList::isValidPattern(pattern)) {
                return fail(QStringLiteral("file pattern refused: \"%1\" (separate the "
                                           "patterns with \";\", e.g. *.gif;*.jpg)")
                                .arg(value));
            }
            options.pattern = pattern;
            break;
        }
        case Opt::Size:
            options.size = value;
            break;
        case Opt::PerRow:
            options.perRow = value;
            break;
        case Opt::PageName:
            if (!isAcceptedPageName(value)) return singleNameRefused(name, value);
            options.pageName = value;
            break;
        case Opt::FolderName:
            if (!isAcceptedFolderName(value)) return singleNameRefused(name, value);
            options.folderName = value;
            break;
        case Opt::Quality: {
            bool ok = false;
            const int quality = value.trimmed().toInt(&ok, 10);
            ThumbSettings probe;
            if (!ok || !probe.setQJPG(quality)) {
                return fail(QStringLiteral("%1 needs a whole number from 1 to 100, not \"%2\"")
                                .arg(name, value));
            }
            options.quality = quality;
            break;
        }
        case Opt::Prefix:
            if (!isAcceptedAffix(value)) return affixRefused(name, value);
            options.prefix = value;
            break;
        case Opt::Suffix:
            if (!isAcceptedAffix(value)) return affixRefused(name, value);
            options.suffix = value;
            break;
        case Opt::Jobs: {
            bool ok = false;
            const int jobs = value.trimmed().toInt(&ok, 10);
            if (!ok || jobs < 1 || jobs > kMaxBatchJobs) {
                return fail(QStringLiteral("%1 needs a whole number from 1 to %2, not \"%3\"")
                                .arg(name)
                                .arg(kMaxBatchJobs)
                                .arg(value));
            }
            options.jobs = jobs;
            break;
        }
        case Opt::Memory: {
            const std::optional<qint64> bytes = parseMemorySize(value);
            if (!bytes || *bytes < kMinBatchMemory) {
                return fail(QStringLiteral("%1 needs a size of 16M or more such as 512M or 4G, "
                                           "not \"%2\"")
                                .arg(name, value));
            }
            options.memory = bytes;
            break;
        }
    }
    return {};
}

}  // namespace

Expected<BatchOptions> parseBatchArguments(const QStringList& arguments) {
    BatchOptions options;
    QStringList positional;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        QString name = eq < 0 ? arg : arg.left(eq);
        // A short option may carry its value attached, as getopt allows: -j2.
        const bool attached = eq < 0 && arg.size() > 2 && arg[0] == QLatin1Char('-') &&
                              arg[1] != QLatin1Char('-') && valueOptions().count(arg.left(2));
        if (attached) name = arg.left(2);
        const auto known = valueOptions().find(name);
        if (known != valueOptions().end()) {
            QString value;
            if (attached) {
                value = arg.mid(2);
            } else if (eq >= 0) {
                value = arg.mid(eq + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return fail(QStringLiteral("%1 needs a value").arg(name));
            }
            if (Status stored = storeValue(options, known->second, name, value); !stored) {
                return unexpected(stored.error());
            }
            continue;
        }

        bool* flag = nullptr;
        if (name == QLatin1String("--enlarge")) flag = &options.enlarge;
        if (name == QLatin1String("--quiet") || name == QLatin1String("-q")) flag = &options.quiet;
        if (name == QLatin1String("--recursive") || name == QLatin1String("-r"))
            flag = &options.recursive;
        if (name == QLatin1String("--follow-links")) flag = &options.followLinks;
        if (name == QLatin1String("--update")) flag = &options.update;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) flag = &options.help;
        if (name == QLatin1String("--version")) flag = &options.version;
        if (flag == nullptr) return fail(QStringLiteral("unknown option %1").arg(name));
        if (eq >= 0) return fail(QStringLiteral("%1 takes no value").arg(name));
        *flag = true;
    }

    if (options.prefix && options.suffix) {
        return fail(QStringLiteral("--prefix and --suffix exclude each other"));
    }
    if (options.help || options.version) return options;
    if (positional.isEmpty()) return fail(QStringLiteral("no folder given"));
    for (const QString& folder : positional) {
        if (folder.isEmpty()) return fail(QStringLiteral("a folder name is empty"));
    }
    options.folders = positional;
    return options;
}

void applyBatchOptions(const BatchOptions& options, ThumbSettings& settings) {
    if (options.size) settings.groesseMin = *options.size;
    if (options.perRow) settings.anzTabelle = *options.perRow;
    if (options.pageName) settings.nameHTML = *options.pageName;
    if (options.folderName) settings.nameOrdner = *options.folderName;
    if (options.quality) settings.setQJPG(*options.quality);
    if (options.prefix) {
        settings.optE = true;
        settings.zusatzAnfang = *options.prefix;
    }
    if (options.suffix) {
        settings.optE = false;
        settings.zusatzEnde = *options.suffix;
    }
}

QString batchUsageText() {
    return QStringLiteral(
               "Usage: miniskop-batch [OPTIONS] FOLDER...\n"
               "Makes a JPEG thumbnail of every picture in each FOLDER and writes an HTML\n"
               "overview page beside them. Settings start from Miniskop.ini (read only) and\n"
               "the options below override them.\n"
               "\n"
               "  --pattern TEXT      file patterns separated by \";\" (default %1)\n"
               "  --size TEXT         thumbnail size in pixels (setting groesseMin)\n"
               "  --per-row TEXT      thumbnails per row of the page (setting anzTabelle)\n"
               "  --page-name TEXT    file name of the page (setting nameHTML)\n"
               "  --folder-name TEXT  thumbnail sub-folder; \"\" writes into FOLDER itself\n"
               "                      (both single names: no \"/\", not \".\" or \"..\")\n"
               "  --quality N         JPEG quality, 1 to 100\n"
               "  --prefix TEXT       put TEXT before each thumbnail's name (no \"/\")\n"
               "  --suffix TEXT       put TEXT after each thumbnail's name (no \"/\")\n"
               "  --enlarge           enlarge pictures smaller than the thumbnail size\n"
               "  -j, --jobs N        pictures worked on at once (default: one per core;\n"
               "                      1 works on one picture at a time)\n"
               "      --memory SIZE   memory the pictures being decoded share, e.g. 512M or\n"
               "                      4G (default 1G); a picture that needs more is refused\n"
               "  -r, --recursive     also every folder below each FOLDER that holds pictures\n"
               "                      (not the thumbnail folders, not hidden folders, not\n"
               "                      links to folders)\n"
               "      --follow-links  with -r, also enter links to folders (still never a\n"
               "                      hidden or thumbnail folder, nor one folder twice)\n"
               "      --update        keep each thumbnail made from its picture as it is now\n"
               "                      with the same settings; make only the others\n"
               "  -q, --quiet         no progress bar\n"
               "  -h, --help          show this text\n"
               "      --version       show the version\n"
               "\n"
               "Exit status: 0 all thumbnails and pages made; 1 a picture or a folder failed\n"
               "or a run could not happen; 2 usage error. Ctrl-C stops after the picture in\n"
               "hand and still writes its folder's page; a second Ctrl-C quits at once.\n")
        .arg(QString::fromLatin1(kDefaultBatchPattern));
}

}  // namespace miniskop
