// The pictures ahead of the one in hand, as work keys for the worker threads:
// the next positions of the run's own list and, past its end, the pictures
// the host says a following run takes up (the batch tool's next folders).
// With --update each key names the thumbnail the picture will get, planned
// with the same naming rule the run applies at the picture's turn, so a
// worker can keep a current thumbnail instead of decoding.
#pragma once

#include <QHash>
#include <QString>
#include <utility>
#include <vector>

#include "PictureWork.h"
#include "ThumbnailNaming.h"

namespace miniskop {

class RunHost;

class LookAhead {
public:
    // A new run starts; `keepCurrent`: plan thumbnail names for --update.
    void restart(bool keepCurrent);

    // Keys for the positions after `i`, at most `count` of them: list
    // positions i+1, ... and then, numbered on from the list's length, the
    // pictures after the list. The settings of `current` hold for all.
    std::vector<std::pair<int, PictureKey>> keysAfter(int i, int count, const PictureKey& current,
                                                      const RunHost& host);

private:
    PictureState stateOf(int position, const QString& path);
    QString plannedName(int position, const RunHost& host);

    bool keepCurrent_ = false;
    QHash<int, std::pair<QString, PictureState>> states_;
    std::vector<QString> plannedNames_;
    ThumbnailNamer planner_;
};

}  // namespace miniskop
