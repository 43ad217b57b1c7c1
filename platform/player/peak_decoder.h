// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

struct _GstElement;

namespace sundrel {

// How loud a song is along its length: the peak and the RMS of its samples
// (0 to 1, all channels together) in bins of equal time, about 6 ms each,
// fine enough for a view zoomed in to 10 ms a pixel. Four bytes a bin and
// never more than PeakBinsMax bins: at most 1 MB, which holds 25 minutes at
// 44.1 kHz before bins double in length.
struct Peaks {
    // Levels kept as 16-bit fractions of full scale: half the memory of a
    // float, far finer than a pixel of height.
    struct Bin {
        std::uint16_t peak = 0;
        std::uint16_t rms = 0;
    };
    static constexpr float kFull = 65535.0f;

    double binSeconds = 0;
    std::vector<Bin> bins;
    // How far decoding has come, and whether it has ended (the whole song
    // is in the bins) or failed (what is there is all there will be).
    double decodedSeconds = 0;
    bool finished = false;
    bool failed = false;

    float peak(std::size_t i) const { return float(bins[i].peak) / kFull; }
    float rms(std::size_t i) const { return float(bins[i].rms) / kFull; }

    // Adds a bin of the decoder's own length, fineSeconds long. Once the
    // song has outgrown PeakBinsMax, neighbouring bins merge into one.
    void addFine(float finePeak, float fineRms, double fineSeconds);
    // The bin still being filled joins the others, however short: the end.
    void closeOpenBin();

private:
    // Fine bins in each bin, and the bin still being filled.
    std::size_t fineInBin_ = 1;
    std::size_t openCount_ = 0;
    float openPeak_ = 0;
    double openSquares_ = 0;
};

inline constexpr std::size_t PeakBinsMax = 262144;

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
