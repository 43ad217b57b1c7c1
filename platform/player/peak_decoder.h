// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

struct _GstElement;

namespace sundrel {

// How loud a song is along its length: the peak and the RMS of its samples
// (0 to 1, all channels together) in bins of equal time. Never more than
// PeakBinsMax bins, whatever the length: a few tens of KB per song.
struct Peaks {
    double binSeconds = 0;
    std::vector<float> peak;
    std::vector<float> rms;
    // How far decoding has come, and whether it has ended (the whole song
    // is in the bins) or failed (what is there is all there will be).
    double decodedSeconds = 0;
    bool finished = false;
    bool failed = false;
};

inline constexpr std::size_t PeakBinsMax = 4096;

// Decodes a song in the background with GStreamer (uridecodebin into an
// appsink) and keeps only its peaks, never the samples. The bins grow from
// the left as decoding goes on; progressed() says when there is more to
// see. Destroying the decoder cancels the decoding and lets go of the file.
class PeakDecoder final : public QObject {
    Q_OBJECT

public:
    explicit PeakDecoder(const QString& path, QObject* parent = nullptr);
    ~PeakDecoder() override;
    PeakDecoder(const PeakDecoder&) = delete;
    PeakDecoder& operator=(const PeakDecoder&) = delete;

    // What has been decoded so far.
    const Peaks& peaks() const { return peaks_; }

signals:
    void progressed();

private:
    struct Work;

    void takeSnapshot();
    void poll();
    void stopPipeline();
    void fail();

    _GstElement* pipeline_ = nullptr;
    // Filled on GStreamer's streaming thread; read here under its lock.
    std::shared_ptr<Work> work_;
    Peaks peaks_;
    QTimer poll_;
};

}  // namespace sundrel
