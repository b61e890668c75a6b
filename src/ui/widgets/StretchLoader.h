// CStretchLoader: the peaks of one stretch of a file at a time, made on a thread of its own.
//
// A zoomed waveform needs peaks finer than the file's peak map holds; LoadStretchPeaks
// (engine/Peaks.h) makes them by decoding the stretch alone, which takes tens of milliseconds
// or more. The loader runs it on one thread it keeps: Request hands it the newest stretch
// wanted and returns at once; a request made while another runs cancels that one (its result
// is dropped), so the thread always works towards the view the user sees last. A finished
// stretch reaches the owner's thread as the Loaded signal (a queued call), never after Cancel
// or the loader's end.
#pragma once

#include "engine/Peaks.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace corvane {

class CStretchLoader : public QObject {
    Q_OBJECT
public:
    // What a request asks: frames [from, to) of path in columns even columns; map, when not
    // null, is the file's complete peak map (read by the loader while it runs).
    struct Request {
        std::string path;
        uint64_t from = 0;
        uint64_t to = 0;
        uint32_t columns = 0;
        std::shared_ptr<const PeakMap> map;
    };
    // The function that makes a stretch (LoadStretchPeaks by default; tests slow it down).
    using Load = std::function<Outcome(const Request&, StretchPeaks&, const std::atomic<bool>& cancel)>;

    explicit CStretchLoader(QObject* parent = nullptr);
    // Cancels the running request and waits for the thread (at most the cancel time of one
    // LoadStretchPeaks).
    ~CStretchLoader() override;

    void SetLoad(Load load) { load_ = std::move(load); }

    // Forgets any request not yet begun, cancels the running one, and asks for request;
    // returns its number (increasing from 1), which Loaded names.
    uint64_t Ask(Request request);
    // Forgets the waiting request and cancels the running one: nothing is loaded after this.
    void Cancel();
    // True while a request waits or runs.
    bool Busy() const { return busy_.load(); }

Q_SIGNALS:
    // On the loader's thread (its QObject thread): the stretch of request number, done.
    void Loaded(uint64_t number, const corvane::StretchPeaks& peaks);

private:
    void Run();

    Load load_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<Request> waiting_;   // the request to run next
    uint64_t asked_ = 0;                 // the number of the newest request
    uint64_t running_ = 0;               // the number of the one running (0: none)
    std::atomic<bool> cancel_{false};    // the running request's cancel flag
    std::atomic<bool> busy_{false};
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace corvane

Q_DECLARE_METATYPE(corvane::StretchPeaks)
