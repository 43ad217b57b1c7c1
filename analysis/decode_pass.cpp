// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode_pass.h"

#include <mpg123.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sundrel::analysis {

namespace {

constexpr int kChannels = 2;
// Sample frames asked of libmpg123 at a time: 93 ms at 44.1 kHz.
constexpr std::size_t kBlockFrames = 4096;

// The file as libmpg123 reads it: through these two functions, which give
// up as soon as the pass is cancelled.
struct Source {
    int fd = -1;
    std::stop_token stop;
};

ssize_t ReadSource(void* handle, void* buffer, size_t bytes) {
    auto* source = static_cast<Source*>(handle);
    if (source->stop.stop_requested()) return -1;
    for (;;) {
        const ssize_t got = ::read(source->fd, buffer, bytes);
        if (got >= 0 || errno != EINTR) return got;
    }
}

off_t SeekSource(void* handle, off_t offset, int whence) {
    return ::lseek(static_cast<Source*>(handle)->fd, offset, whence);
}

struct Closer {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

class File {
public:
    explicit File(const std::filesystem::path& path) {
        // Never blocks: not on a FIFO with no writer, not on a device.
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat status {};
        if (fd_ >= 0 && (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// Opens the song with the pass's settings; null when libmpg123 will not.
std::unique_ptr<mpg123_handle, Closer> OpenDecoder(Source& source) {
    static std::once_flag initialised;
    // A no-op in libmpg123 1.27 and later, not safe to call at once on two
    // threads before.
    std::call_once(initialised, [] { mpg123_init(); });
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, Closer> handle(mpg123_new(nullptr, &error));
    if (!handle) return nullptr;
    mpg123_handle* mh = handle.get();
    // Tags are skipped unread: libmpg123 would allocate what a tag claims
    // to hold before reading it. Junk before and between frames is skipped
    // however long, as GStreamer's parser does.
    const bool set =
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_SKIP_ID3V2, 0) == MPG123_OK &&
        mpg123_param(mh, MPG123_RESYNC_LIMIT, -1, 0) == MPG123_OK && mpg123_format_none(mh) == MPG123_OK;
    if (!set) return nullptr;
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i)
        if (mpg123_format(mh, rates[i], MPG123_STEREO, MPG123_ENC_FLOAT_32) != MPG123_OK) return nullptr;
    if (mpg123_replace_reader_handle(mh, &ReadSource, &SeekSource, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &source) != MPG123_OK)
        return nullptr;
    return handle;
}

// A song opened for decoding a stretch of it at once, the rate of its sound
// found (libmpg123 has read its first frame); no handle when either fails.
struct OpenedSong {
    explicit OpenedSong(const std::filesystem::path& path) : file(path), source{file.fd(), {}} {
        if (file.fd() < 0) return;
        handle = OpenDecoder(source);
        int channels = 0;
        int encoding = 0;
        if (handle && (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0))
            handle.reset();
    }
    File file;
    Source source;  // where the handle reads from: stays put
    std::unique_ptr<mpg123_handle, Closer> handle;
    long rate = 0;
};

// The analyzers, on a thread of their own: while they work on one block,
// the next ones are decoded. At most kQueuedBlocks wait (256 KB); the
// decoding waits beyond that.
class AnalysisThread {
public:
    static constexpr std::size_t kQueuedBlocks = 8;

    AnalysisThread(std::span<Analyzer* const> analyzers, const std::function<void()>& afterBlock)
        : analyzers_(analyzers), afterBlock_(afterBlock), thread_([this] { run(); }) {}
    ~AnalysisThread() { finish(); }
    AnalysisThread(const AnalysisThread&) = delete;
    AnalysisThread& operator=(const AnalysisThread&) = delete;

    // A block to decode into: one the analyzers are done with, if any.
    std::vector<float> spare() {
        std::vector<float> block;
        {
            const std::lock_guard guard(lock_);
            if (!spare_.empty()) {
                block.swap(spare_.back());
                spare_.pop_back();
            }
        }
        block.resize(kBlockFrames * kChannels);
        return block;
    }
    // The block's first `frames` frames go to the analyzers, uncopied.
    void push(std::vector<float>&& block, std::size_t frames) {
        block.resize(frames * kChannels);
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return queued_.size() < kQueuedBlocks; });
        queued_.push_back(std::move(block));
        guard.unlock();
        changed_.notify_all();
    }
    bool failed() const { return failed_; }
    // Every block pushed has been analysed when this returns.
    void finish() {
        if (!thread_.joinable()) return;
        {
            const std::lock_guard guard(lock_);
            ended_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    void run() {
        for (;;) {
            std::vector<float> block;
            {
                std::unique_lock guard(lock_);
                changed_.wait(guard, [&] { return !queued_.empty() || ended_; });
                if (queued_.empty()) return;
                block.swap(queued_.front());
                queued_.pop_front();
            }
            changed_.notify_all();
            // An analyzer that throws (out of memory) ends the pass as
            // failed; the blocks still queued are let go unread.
            if (!failed_) try {
                    for (Analyzer* analyzer : analyzers_) analyzer->process(block.data(), block.size() / kChannels);
                    if (afterBlock_) afterBlock_();
                } catch (...) {
                    failed_ = true;
                }
            const std::lock_guard guard(lock_);
            spare_.push_back(std::move(block));
        }
    }

    std::span<Analyzer* const> analyzers_;
    const std::function<void()>& afterBlock_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::vector<float>> queued_;
    std::vector<std::vector<float>> spare_;
    bool ended_ = false;
    std::atomic<bool> failed_ = false;
    std::thread thread_;  // last: started once the rest is ready
};

}  // namespace

DecodeOutcome DecodeSong(const std::filesystem::path& path, std::span<Analyzer* const> analyzers, std::stop_token stop,
                         const std::function<void()>& afterBlock) {
    const File file(path);
    if (file.fd() < 0) return DecodeOutcome::Failed;
    Source source{file.fd(), stop};
    const auto handle = OpenDecoder(source);
    if (!handle) return DecodeOutcome::Failed;

    long rate = 0;
    bool started = false;
    std::unique_ptr<AnalysisThread> analysing;
    const auto finish = [&](DecodeOutcome outcome) {
        if (analysing) analysing->finish();
        if (started)
            for (Analyzer* analyzer : analyzers) analyzer->finalise();
        if (stop.stop_requested()) return DecodeOutcome::Cancelled;
        return started ? outcome : DecodeOutcome::Failed;
    };

    std::vector<float> block(kBlockFrames * kChannels);
    for (;;) {
        if (stop.stop_requested()) return finish(DecodeOutcome::Cancelled);
        std::size_t bytes = 0;
        const int result = mpg123_read(handle.get(), reinterpret_cast<unsigned char*>(block.data()),
                                       block.size() * sizeof(float), &bytes);
        if (result == MPG123_NEW_FORMAT) {
            long newRate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(handle.get(), &newRate, &channels, &encoding);
            if (channels != kChannels || encoding != MPG123_ENC_FLOAT_32 || newRate <= 0)
                return finish(DecodeOutcome::Failed);
            if (started && newRate != rate)
                return finish(DecodeOutcome::Failed);  // a song that changes its rate halfway
            if (!started) {
                rate = newRate;
                for (Analyzer* analyzer : analyzers) analyzer->initialise(int(rate), kChannels);
                started = true;
                if (!analyzers.empty()) analysing = std::make_unique<AnalysisThread>(analyzers, afterBlock);
            }
        } else if (result != MPG123_OK && result != MPG123_DONE) {
            return finish(DecodeOutcome::Failed);
        }
        const std::size_t frames = bytes / (sizeof(float) * kChannels);
        if (frames > 0 && analysing) {
            analysing->push(std::move(block), frames);
            block = analysing->spare();
        }
        if (analysing && analysing->failed()) return finish(DecodeOutcome::Failed);
        if (result == MPG123_DONE) return finish(DecodeOutcome::Finished);
    }
}

std::optional<float> LoudestSample(const std::filesystem::path& path, double fromSeconds, double toSeconds) {
    if (!(fromSeconds >= 0) || !(toSeconds >= fromSeconds)) return std::nullopt;
    OpenedSong song(path);
    if (!song.handle) return std::nullopt;
    mpg123_handle* const handle = song.handle.get();
    const double rate = double(song.rate);
    // Sample frames from the first whose middle is at or after the start to
    // the last whose middle is before the end: the stretch's own.
    const auto first = static_cast<off_t>(std::ceil(fromSeconds * rate - 0.5));
    const auto last = static_cast<off_t>(std::ceil(toSeconds * rate - 0.5));
    // libmpg123 decodes the frames a seek lands after too, for their bit
    // reservoir, and gives the samples from the one asked.
    if (mpg123_seek(handle, first, SEEK_SET) != first) return std::nullopt;
    std::vector<float> block(kBlockFrames * kChannels);
    float loudest = 0;
    for (off_t left = last - first; left > 0;) {
        std::size_t bytes = 0;
        const int result =
            mpg123_read(handle, reinterpret_cast<unsigned char*>(block.data()), block.size() * sizeof(float), &bytes);
        if (result != MPG123_OK && result != MPG123_DONE && result != MPG123_NEW_FORMAT) return std::nullopt;
        const auto frames = std::min<off_t>(left, off_t(bytes / (sizeof(float) * kChannels)));
        for (std::size_t i = 0; i < std::size_t(frames) * kChannels; ++i)
            loudest = std::max(loudest, std::abs(block[i]));
        left -= frames;
        if (result == MPG123_DONE) break;
    }
    return loudest;
}

std::optional<DecodedSound> DecodeWhole(const std::filesystem::path& path, double longestSeconds) {
    OpenedSong song(path);
    if (!song.handle) return std::nullopt;
    mpg123_handle* const handle = song.handle.get();
    // The decoder always gives two channels; a mono file's are the same.
    mpg123_frameinfo info{};
    if (mpg123_info(handle, &info) != MPG123_OK) return std::nullopt;
    const long rate = song.rate;
    DecodedSound sound{int(rate), info.mode == MPG123_M_MONO ? 1 : kChannels, {}};
    std::vector<float> block(kBlockFrames * kChannels);
    for (;;) {
        std::size_t bytes = 0;
        const int result =
            mpg123_read(handle, reinterpret_cast<unsigned char*>(block.data()), block.size() * sizeof(float), &bytes);
        if (result != MPG123_OK && result != MPG123_DONE && result != MPG123_NEW_FORMAT) return std::nullopt;
        const std::size_t frames = bytes / (sizeof(float) * kChannels);
        for (std::size_t i = 0; i < frames * kChannels; i += std::size_t(kChannels / sound.Channels))
            sound.Samples.push_back(block[i]);
        if (result == MPG123_DONE || double(sound.Frames()) > longestSeconds * double(rate)) break;
    }
    return sound;
}

}  // namespace sundrel::analysis
