// SPDX-License-Identifier: GPL-3.0-or-later
#include "aac_mp4.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace sundrel {

namespace {

// libavformat 61 (FFmpeg 7) made the written bytes const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WrittenBytes = const std::uint8_t*;
#else
using WrittenBytes = std::uint8_t*;
#endif

// The file being muxed, in memory: the MP4 muxer writes its sample data,
// then seeks back to fill in the size of the box that holds it.
struct MemoryFile {
    std::vector<std::uint8_t> Bytes;
    std::size_t At = 0;
};

int WriteMemory(void* opaque, WrittenBytes bytes, int count) {
    auto* file = static_cast<MemoryFile*>(opaque);
    const auto size = std::size_t(count);
    if (file->At + size > file->Bytes.size()) file->Bytes.resize(file->At + size);
    std::memcpy(file->Bytes.data() + file->At, bytes, size);
    file->At += size;
    return count;
}

std::int64_t SeekMemory(void* opaque, std::int64_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(opaque);
    const auto size = std::int64_t(file->Bytes.size());
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += std::int64_t(file->At);
            break;
        case SEEK_END:
            offset += size;
            break;
        default:
            return -1;
    }
    if (offset < 0) return -1;
    file->At = std::size_t(offset);
    return offset;
}

struct Freer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(AVFormatContext* format) const { avformat_free_context(format); }
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Freer>;

std::unique_ptr<AVCodecContext, Freer> OpenEncoder(int rate, int channels, bool globalHeader) {
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");  // libavcodec's own, AAC-LC by default
    if (!aac) return nullptr;
    Owned<AVCodecContext> codec(avcodec_alloc_context3(aac));
    if (!codec) return nullptr;
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = rate;
    av_channel_layout_default(&codec->ch_layout, channels);
    codec->bit_rate = channels == 1 ? MonoAacBitsPerSecond : StereoAacBitsPerSecond;
    codec->time_base = {1, rate};
    if (globalHeader) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec.get(), aac, nullptr) < 0) return nullptr;
    return codec;
}

// The muxer, writing into `file`, with one audio stream like the encoder's.
struct Muxer {
    Owned<AVFormatContext> Format;
    Owned<AVIOContext> Io;
    AVStream* Stream = nullptr;
    std::int64_t Packets = 0;  // each an AAC frame
};

std::optional<Muxer> OpenMuxer(MemoryFile& file, const std::string& title) {
    // The libraries' own notes go to standard error: the muxer's that an
    // .m4r is not named .m4a, the encoder's statistics. Only errors are
    // worth a user's terminal.
    static std::once_flag quietened;
    std::call_once(quietened, [] { av_log_set_level(AV_LOG_ERROR); });
    AVFormatContext* format = nullptr;
    // "ipod" is the MP4 muxer that brands the file "M4A ", as iTunes does
    // its AAC files and ringtones.
    if (avformat_alloc_output_context2(&format, nullptr, "ipod", nullptr) < 0) return std::nullopt;
    Muxer muxer{Owned<AVFormatContext>(format), nullptr, nullptr};
    constexpr int kIoBufferBytes = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer) return std::nullopt;
    muxer.Io.reset(avio_alloc_context(buffer, kIoBufferBytes, 1, &file, nullptr, &WriteMemory, &SeekMemory));
    if (!muxer.Io) {
        av_free(buffer);
        return std::nullopt;
    }
    format->pb = muxer.Io.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    muxer.Stream = avformat_new_stream(format, nullptr);
    if (!muxer.Stream || av_dict_set(&format->metadata, "title", title.c_str(), 0) < 0) return std::nullopt;
    return muxer;
}

// Hands the encoder one frame (or, null, the end) and the muxer every
// packet it gives back.
bool Encode(AVCodecContext* codec, const AVFrame* frame, Muxer& muxer, AVPacket* packet) {
    if (avcodec_send_frame(codec, frame) < 0) return false;
    for (;;) {
        const int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        av_packet_rescale_ts(packet, codec->time_base, muxer.Stream->time_base);
        packet->stream_index = muxer.Stream->index;
        if (av_write_frame(muxer.Format.get(), packet) < 0) return false;
        ++muxer.Packets;
    }
}

// The next `count` frames of interleaved sound, into the encoder's planes.
bool FillFrame(AVFrame* frame, std::span<const float> samples, int channels, int count) {
    frame->nb_samples = count;
    if (av_frame_make_writable(frame) < 0) return false;
    for (int c = 0; c < channels; ++c) {
        auto* plane = reinterpret_cast<float*>(frame->extended_data[c]);
        for (int i = 0; i < count; ++i) plane[i] = samples[std::size_t(i * channels + c)];
    }
    return true;
}

}  // namespace

std::optional<AacMp4> EncodeAacMp4(std::span<const float> samples, int rate, int channels, const std::string& title,
                                   const EventPass& eventPass) {
    MemoryFile file;
    std::optional<Muxer> muxer = OpenMuxer(file, title);
    if (!muxer) return std::nullopt;
    const auto codec = OpenEncoder(rate, channels, muxer->Format->oformat->flags & AVFMT_GLOBALHEADER);
    if (!codec || avcodec_parameters_from_context(muxer->Stream->codecpar, codec.get()) < 0) return std::nullopt;
    muxer->Stream->time_base = codec->time_base;
    if (avformat_write_header(muxer->Format.get(), nullptr) < 0) return std::nullopt;

    Owned<AVFrame> frame(av_frame_alloc());
    Owned<AVPacket> packet(av_packet_alloc());
    if (!frame || !packet) return std::nullopt;
    frame->format = codec->sample_fmt;
    frame->sample_rate = rate;
    frame->nb_samples = codec->frame_size;
    if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
        return std::nullopt;
    const std::size_t total = samples.size() / std::size_t(channels);
    // Frames of the encoder's size; the last one shorter, which the encoder
    // pads with silence.
    for (std::size_t done = 0; done < total;) {
        const int count = int(std::min<std::size_t>(std::size_t(codec->frame_size), total - done));
        if (!FillFrame(frame.get(), samples.subspan(done * std::size_t(channels)), channels, count)) return std::nullopt;
        // The encoder counts time in samples from the first: the muxer
        // writes an edit list for the delay it puts before them.
        frame->pts = std::int64_t(done);
        if (!Encode(codec.get(), frame.get(), *muxer, packet.get())) return std::nullopt;
        done += std::size_t(count);
        if (eventPass && !eventPass()) return std::nullopt;
    }
    if (!Encode(codec.get(), nullptr, *muxer, packet.get()) || av_write_trailer(muxer->Format.get()) < 0)
        return std::nullopt;
    avio_flush(muxer->Io.get());

    const std::int64_t padding = muxer->Packets * codec->frame_size - codec->initial_padding - std::int64_t(total);
    return AacMp4{std::move(file.Bytes), codec->initial_padding, padding};
}

}  // namespace sundrel
