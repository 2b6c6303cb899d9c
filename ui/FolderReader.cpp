// FolderReader: one detached thread per reading. A reading that hangs (a
// network share gone away) never holds up the window, a later reading or the
// program's end; its thread finds the reader gone or the reading stopped and
// ends without a word. The mailbox's lock makes "post the result" and "the
// reader goes away" exclusive, so a result is never posted to a destroyed
// object (Qt drops calls still queued for an object when it is destroyed).
#include "FolderReader.h"

#include <QMetaObject>
#include <exception>
#include <mutex>
#include <thread>

namespace miniskop {

struct FolderReader::Mailbox {
    std::mutex mutex;
    FolderReader* reader = nullptr;  // null once the reader is gone
};

FolderReader::FolderReader(QObject* parent)
    : QObject(parent), mailbox_(std::make_shared<Mailbox>()) {
    mailbox_->reader = this;
}

FolderReader::~FolderReader() {
    cancel();
    std::lock_guard<std::mutex> lock(mailbox_->mutex);
    mailbox_->reader = nullptr;
}

void FolderReader::start(Work work, Done done) {
    cancel();
    const quint64 generation = ++generation_;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    done_ = std::move(done);
    busy_ = true;

    std::thread([mailbox = mailbox_, stop = stop_, work = std::move(work), generation] {
        auto result =
            std::make_shared<Expected<FolderReading>>(fail(QStringLiteral("Ordner nicht gelesen")));
        try {
            *result = work(*stop);
        } catch (const std::exception& e) {
            *result = fail(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            *result = fail(QStringLiteral("Ordner nicht gelesen"));
        }
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        if (mailbox->reader == nullptr || stop->load()) return;
        FolderReader* reader = mailbox->reader;
        QMetaObject::invokeMethod(
            reader, [reader, generation, result] { reader->deliver(generation, result); },
            Qt::QueuedConnection);
    }).detach();
}

void FolderReader::cancel() {
    if (stop_) stop_->store(true);
    stop_.reset();
    done_ = nullptr;
    busy_ = false;
}

void FolderReader::deliver(quint64 generation,
                           const std::shared_ptr<Expected<FolderReading>>& result) {
    if (generation != generation_ || !busy_) return;  // superseded or dropped
    Done done = std::move(done_);
    done_ = nullptr;
    stop_.reset();
    busy_ = false;
    if (done) done(std::move(*result));
}

}  // namespace miniskop
