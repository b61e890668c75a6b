// CStretchLoader: stretch peaks on a thread of their own, the newest request first.
#include "ui/widgets/StretchLoader.h"

#include <QMetaObject>

namespace corvane {

CStretchLoader::CStretchLoader(QObject* parent) : QObject(parent) {
    qRegisterMetaType<StretchPeaks>();
    load_ = [](const Request& r, StretchPeaks& out, const std::atomic<bool>& cancel) {
        return LoadStretchPeaks(r.path, r.from, r.to, r.columns, out, cancel, r.map.get());
    };
}

CStretchLoader::~CStretchLoader() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        waiting_.reset();
        cancel_.store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

uint64_t CStretchLoader::Ask(Request request) {
    uint64_t number = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        number = ++asked_;
        waiting_ = std::make_unique<Request>(std::move(request));
        if (running_ != 0) cancel_.store(true);
        busy_.store(true);
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_all();
    return number;
}

void CStretchLoader::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++asked_;  // a result on its way is one no request waits for any more
    waiting_.reset();
    if (running_ != 0) cancel_.store(true);
    else busy_.store(false);
}

void CStretchLoader::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || waiting_ != nullptr; });
        if (stop_) return;
        const std::unique_ptr<Request> request = std::move(waiting_);
        const uint64_t number = asked_;
        running_ = number;
        cancel_.store(false);
        lock.unlock();

        StretchPeaks peaks;
        const Outcome outcome = load_(*request, peaks, cancel_);

        lock.lock();
        running_ = 0;
        // Only the newest request's stretch is handed over; the owner's thread drops it again
        // when a later request was made after it was posted.
        if (outcome.done() && number == asked_ && !stop_) {
            QMetaObject::invokeMethod(
                this, [this, number, peaks = std::move(peaks)] { Q_EMIT Loaded(number, peaks); }, Qt::QueuedConnection);
        }
        if (waiting_ == nullptr) busy_.store(false);
    }
}

}  // namespace corvane
