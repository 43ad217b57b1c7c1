// SPDX-License-Identifier: GPL-3.0-or-later
#include "peak_decoder.h"

#include "engine_path.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <utility>

namespace sundrel {

namespace {

constexpr int kPollMs = 50;

}  // namespace

// What the worker hands over: the latest peaks, then the whole analysis.
struct PeakDecoder::Shared {
    std::mutex lock;
    Peaks peaks;
    bool fresh = false;
    std::optional<SongAnalysis> result;
};

PeakDecoder::PeakDecoder(const QString& path, QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>())
{
    connect(&poll_, &QTimer::timeout, this, &PeakDecoder::poll);
    const std::filesystem::path file = AbsoluteEnginePath(path);
    worker_ = std::jthread([shared = shared_, file](std::stop_token stop) {
        SongAnalysis result = AnalyseSong(file, stop, [&shared](const Peaks& peaks) {
            const std::lock_guard guard(shared->lock);
            shared->peaks = peaks;
            shared->fresh = true;
        });
        const std::lock_guard guard(shared->lock);
        shared->result = std::move(result);
    });
    poll_.start(kPollMs);
}

PeakDecoder::~PeakDecoder()
{
    poll_.stop();
    // The pass checks the stop token between blocks and in every read of
    // the file, so the join is prompt and the file is closed when it returns.
    worker_.request_stop();
    if (worker_.joinable())
        worker_.join();
}

void PeakDecoder::poll()
{
    bool fresh = false;
    std::optional<SongAnalysis> result;
    {
        const std::lock_guard guard(shared_->lock);
        if (shared_->fresh) {
            std::swap(analysis_.peaks, shared_->peaks);
            shared_->fresh = false;
            fresh = true;
        }
        result.swap(shared_->result);
    }
    if (result) {
        poll_.stop();
        analysis_ = std::move(*result);
        if (worker_.joinable())
            worker_.join();
    }
    if (fresh || result)
        emit progressed();
    if (result && analysis_.Finished)
        emit analysed();
}

}  // namespace sundrel
