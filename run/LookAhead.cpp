// Keys for the work done ahead. See LookAhead.h.
#include "LookAhead.h"

#include "FileNames.h"
#include "RunHost.h"
#include "ThumbnailNaming.h"

namespace miniskop {

void LookAhead::restart(bool keepCurrent) {
    keepCurrent_ = keepCurrent;
    states_.clear();
    plannedNames_.clear();
    planner_.restart();
}

PictureState LookAhead::stateOf(int position, const QString& path) {
    // Each picture is looked at once while it is ahead; at its own turn the
    // run looks again, and a picture changed meanwhile gets its work redone.
    const auto known = states_.constFind(position);
    if (known != states_.constEnd() && known->first == path) return known->second;
    const PictureState state = pictureStateOf(path);
    states_.insert(position, {path, state});
    return state;
}

QString LookAhead::plannedName(int position, const RunHost& host) {
    // Names are given in list order, as the run gives them.
    const ThumbSettings& settings = host.settings();
    const QString folder = thumbnailFolder(withClosingSeparator(host.fileListPath()), settings);
    while (int(plannedNames_.size()) <= position) {
        const QString entry = host.fileListEntry(int(plannedNames_.size()));
        plannedNames_.push_back(planner_.next(folder, entry, settings));
    }
    return plannedNames_[size_t(position)];
}

std::vector<std::pair<int, PictureKey>> LookAhead::keysAfter(int i, int count,
                                                             const PictureKey& current,
                                                             const RunHost& host) {
    std::vector<std::pair<int, PictureKey>> keys;
    for (auto it = states_.begin(); it != states_.end();) {
        it = it.key() <= i ? states_.erase(it) : std::next(it);
    }
    const QString folder = withClosingSeparator(host.fileListPath());
    const int listed = host.fileListCount();
    int j = i + 1;
    for (; j < listed && int(keys.size()) < count; ++j) {
        const QString entry = host.fileListEntry(j);
        if (entry.isEmpty()) return keys;
        PictureKey key = current;
        key.path = folder + entry;
        key.picture = stateOf(j, key.path);
        key.keepIfCurrent = keepCurrent_ ? plannedName(j, host) : QString();
        keys.emplace_back(j, std::move(key));
    }
    // Past the list: the pictures of the runs that follow. Their thumbnail
    // names are not planned here, so with --update they wait for their turn.
    if (keepCurrent_ || int(keys.size()) >= count) return keys;
    const QStringList after = host.picturesAfterList(count - int(keys.size()));
    for (qsizetype k = 0; k < after.size(); ++k) {
        PictureKey key = current;
        key.path = after[k];
        key.picture = stateOf(listed + int(k), key.path);
        key.keepIfCurrent.clear();
        keys.emplace_back(listed + int(k), std::move(key));
    }
    return keys;
}

}  // namespace miniskop
