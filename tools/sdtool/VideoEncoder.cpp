// VideoEncoder.cpp: the FFmpeg muxer, video and audio encoders, colour
// conversion and resampling of one video file.
#include "tools/sdtool/VideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>

namespace {

std::string ffmpegText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

struct FormatNames {
    const char* muxer;
    const char* video;
    const char* audio;  // none for GIF
    const char* what;   // for messages
};

FormatNames namesOf(VideoFormat format)
{
    switch (format) {
    case VideoFormat::Mp4:
        return {"mp4", "libx264", "aac", "MP4"};
    case VideoFormat::WebM:
        return {"webm", "libvpx-vp9", "libopus", "WebM"};
    case VideoFormat::Mkv:
        return {"matroska", "libx264rgb", "flac", "Matroska"};
    case VideoFormat::Gif:
        break;
    }
    return {"gif", "gif", nullptr, "GIF"};
}

const AVCodec* findEncoder(const char* name, VideoFormat format)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr)
        throw VideoError(std::string("this system's FFmpeg has no ") + name + " encoder, which " + namesOf(format).what
                         + " files are written with (see 'ffmpeg -encoders'; Debian's libavcodec has it)");
    return codec;
}

// The encoder's preferred sample format among those it takes.
AVSampleFormat sampleFormatFor(const AVCodec& codec)
{
    if (codec.sample_fmts == nullptr)
        return AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT)
            return *f;
    return codec.sample_fmts[0];
}

// The rate nearest above (or else below) wanted that the encoder takes.
int sampleRateFor(const AVCodec& codec, int wanted)
{
    if (codec.supported_samplerates == nullptr)
        return wanted;
    int best = 0;
    for (const int* r = codec.supported_samplerates; *r != 0; ++r)
        if (*r == wanted)
            return wanted;
        else if ((*r > wanted && (best < wanted || *r < best)) || (best < wanted && *r > best))
            best = *r;
    return best;
}

// The columns [first, last) where two rows of pixels differ; first == last when they do not.
std::pair<int, int> differingSpan(const uint32_t* row, const uint32_t* before, int width)
{
    if (std::memcmp(row, before, static_cast<size_t>(width) * sizeof(uint32_t)) == 0)
        return {0, 0};
    int first = 0;
    while (first < width && row[first] == before[first])
        ++first;
    int last = width;
    while (last > first && row[last - 1] == before[last - 1])
        --last;
    return {first, last};
}

// Pixel words 0x00RRGGBB of two rows, columns [first, last) (even), to
// limited-range BT.709 Y, Cb and Cr with 4:2:0 chroma, in 16-bit fixed point.
void convertRowPair(const uint32_t* top, const uint32_t* bottom, int first, int last, uint8_t* yTop, uint8_t* yBottom,
                    uint8_t* cb, uint8_t* cr)
{
    const auto luma = [](uint32_t p) {
        return static_cast<uint8_t>((11966 * ((p >> 16) & 0xFF) + 40254 * ((p >> 8) & 0xFF) + 4064 * (p & 0xFF)
                                     + (16u << 16) + 32768)
                                    >> 16);
    };
    for (int x = first; x < last; x += 2) {
        const uint32_t p[4] = {top[x], top[x + 1], bottom[x], bottom[x + 1]};
        yTop[x] = luma(p[0]);
        yTop[x + 1] = luma(p[1]);
        yBottom[x] = luma(p[2]);
        yBottom[x + 1] = luma(p[3]);
        int r = 0, g = 0, b = 0;
        for (const uint32_t q : p) {
            r += static_cast<int>((q >> 16) & 0xFF);
            g += static_cast<int>((q >> 8) & 0xFF);
            b += static_cast<int>(q & 0xFF);
        }
        // Sums of four: the averages' weights divided by four.
        cb[x / 2] = static_cast<uint8_t>((-6594 * r - 22189 * g + 28784 * b + (128 << 18) + (1 << 17)) >> 18);
        cr[x / 2] = static_cast<uint8_t>((28784 * r - 26145 * g - 2639 * b + (128 << 18) + (1 << 17)) >> 18);
    }
}

}  // namespace

struct VideoEncoder::Impl {
    VideoSettings settings;
    FormatNames names{};
    AVFormatContext* muxer = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    bool finished = false;

    AVCodecContext* video = nullptr;
    AVStream* videoStream = nullptr;
    AVFrame* picture = nullptr;  // the frame as the encoder takes it
    int64_t frames = 0;
    std::unordered_map<uint32_t, uint8_t> paletteIndex;  // GIF: colours seen so far

    AVCodecContext* audio = nullptr;
    AVStream* audioStream = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* sound = nullptr;
    int64_t samplesIn = 0;   // fed, at settings.audioRate
    int64_t samplesOut = 0;  // encoded, at the encoder's rate

    ~Impl()
    {
        if (muxer != nullptr && muxer->pb != nullptr)
            avio_closep(&muxer->pb);
        avformat_free_context(muxer);
        av_packet_free(&packet);
        avcodec_free_context(&video);
        av_frame_free(&picture);
        avcodec_free_context(&audio);
        swr_free(&resampler);
        if (fifo != nullptr)
            av_audio_fifo_free(fifo);
        av_frame_free(&sound);
    }

    void check(int result, const std::string& doing) const
    {
        if (result < 0)
            throw VideoError(std::string(names.what) + " video: " + doing + ": " + ffmpegText(result));
    }

    AVStream* addStream(AVCodecContext* context)
    {
        if (muxer->oformat->flags & AVFMT_GLOBALHEADER)
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVStream* stream = avformat_new_stream(muxer, nullptr);
        if (stream == nullptr)
            throw VideoError(std::string(names.what) + " video: no memory for a stream");
        return stream;
    }

    void openCodec(AVCodecContext* context, const AVCodec* codec, AVStream* stream, AVDictionary** options)
    {
        const int result = avcodec_open2(context, codec, options);
        av_dict_free(options);
        check(result, std::string("the ") + codec->name + " encoder refused its settings");
        check(avcodec_parameters_from_context(stream->codecpar, context), "stream parameters");
        stream->time_base = context->time_base;
    }

    void openVideo()
    {
        const AVCodec* codec = findEncoder(names.video, settings.format);
        video = avcodec_alloc_context3(codec);
        if (video == nullptr)
            throw VideoError("no memory for the video encoder");
        video->width = settings.width;
        video->height = settings.height;
        video->time_base = AVRational{1, 10};
        video->framerate = AVRational{10, 1};
        video->sample_aspect_ratio = AVRational{1, 1};
        AVDictionary* options = nullptr;
        switch (settings.format) {
        case VideoFormat::Mp4:
            video->pix_fmt = AV_PIX_FMT_YUV420P;
            // The fastest preset: a show's flat pictures compress well even
            // so, and a minute of 1080p is made in seconds on two cores.
            av_dict_set(&options, "preset", "ultrafast", 0);
            av_dict_set(&options, "crf", "20", 0);
            av_dict_set(&options, "profile", "high", 0);
            video->gop_size = 100;
            break;
        case VideoFormat::WebM:
            video->pix_fmt = AV_PIX_FMT_YUV420P;
            video->bit_rate = 0;
            av_dict_set(&options, "crf", "30", 0);
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set(&options, "cpu-used", "8", 0);
            av_dict_set(&options, "row-mt", "1", 0);
            av_dict_set(&options, "lag-in-frames", "0", 0);
            video->thread_count = 2;
            video->gop_size = 100;
            break;
        case VideoFormat::Mkv:
            // The window's own pixel layout, bytes B, G, R, unused: no conversion.
            video->pix_fmt = AV_PIX_FMT_BGR0;
            av_dict_set(&options, "preset", "ultrafast", 0);
            av_dict_set(&options, "qp", "0", 0);
            video->gop_size = 100;
            break;
        case VideoFormat::Gif:
            video->pix_fmt = AV_PIX_FMT_PAL8;
            break;
        }
        if (video->pix_fmt == AV_PIX_FMT_YUV420P) {
            // High-definition colours, said in the stream so players convert back alike.
            video->colorspace = AVCOL_SPC_BT709;
            video->color_primaries = AVCOL_PRI_BT709;
            video->color_trc = AVCOL_TRC_BT709;
            video->color_range = AVCOL_RANGE_MPEG;
        }
        videoStream = addStream(video);
        videoStream->avg_frame_rate = video->framerate;
        openCodec(video, codec, videoStream, &options);

        picture = av_frame_alloc();
        if (picture == nullptr)
            throw VideoError("no memory for a frame");
        picture->format = video->pix_fmt;
        picture->width = settings.width;
        picture->height = settings.height;
        check(av_frame_get_buffer(picture, 0), "a frame buffer");
        if (settings.format == VideoFormat::Gif) {
            auto* colours = reinterpret_cast<uint32_t*>(picture->data[1]);
            std::fill(colours, colours + 256, 0xFF000000u);
            for (size_t i = 0; i < settings.palette.size() && i < 256; ++i)
                colours[i] = 0xFF000000u | settings.palette[i];
        }
    }

    void openAudio()
    {
        const AVCodec* codec = findEncoder(names.audio, settings.format);
        audio = avcodec_alloc_context3(codec);
        if (audio == nullptr)
            throw VideoError("no memory for the audio encoder");
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        check(av_channel_layout_copy(&audio->ch_layout, &stereo), "channel layout");
        audio->sample_fmt = sampleFormatFor(*codec);
        audio->sample_rate = sampleRateFor(*codec, settings.audioRate);
        audio->time_base = AVRational{1, audio->sample_rate};
        if (settings.format != VideoFormat::Mkv)
            audio->bit_rate = 160000;
        audioStream = addStream(audio);
        AVDictionary* options = nullptr;
        // The native AAC encoder's default search costs more than the video.
        if (settings.format == VideoFormat::Mp4)
            av_dict_set(&options, "aac_coder", "fast", 0);
        openCodec(audio, codec, audioStream, &options);

        check(swr_alloc_set_opts2(&resampler, &audio->ch_layout, audio->sample_fmt, audio->sample_rate, &stereo,
                                  AV_SAMPLE_FMT_FLTP, settings.audioRate, 0, nullptr),
              "the resampler");
        check(swr_init(resampler), "the resampler");
        fifo = av_audio_fifo_alloc(audio->sample_fmt, 2, 4096);
        sound = av_frame_alloc();
        if (fifo == nullptr || sound == nullptr)
            throw VideoError("no memory for the audio");
    }

    // Sends frame (none: the end) to context and writes what comes out.
    void encode(AVCodecContext* context, AVStream* stream, const AVFrame* frame)
    {
        check(avcodec_send_frame(context, frame), "encoding");
        for (;;) {
            const int result = avcodec_receive_packet(context, packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return;
            check(result, "encoding");
            av_packet_rescale_ts(packet, context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            check(av_interleaved_write_frame(muxer, packet), "writing");
        }
    }

    // Encodes whole encoder frames from the fifo; with last, the rest too.
    void drainFifo(bool last)
    {
        const int size = audio->frame_size > 0 ? audio->frame_size : 4096;
        while (av_audio_fifo_size(fifo) >= size || (last && av_audio_fifo_size(fifo) > 0)) {
            const int count = std::min(size, av_audio_fifo_size(fifo));
            av_frame_unref(sound);
            sound->nb_samples = count;
            sound->format = audio->sample_fmt;
            sound->sample_rate = audio->sample_rate;
            check(av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout), "channel layout");
            check(av_frame_get_buffer(sound, 0), "an audio buffer");
            if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), count) < count)
                throw VideoError("the audio queue lost samples");
            sound->pts = samplesOut;
            samplesOut += count;
            encode(audio, audioStream, sound);
        }
    }

    // Converts count samples (none: the resampler's rest) into the fifo.
    void resample(const float* left, const float* right, int count)
    {
        const int room = swr_get_out_samples(resampler, count);
        if (room <= 0)
            return;
        uint8_t** out = nullptr;
        check(av_samples_alloc_array_and_samples(&out, nullptr, 2, room, audio->sample_fmt, 0), "an audio buffer");
        const uint8_t* in[2] = {reinterpret_cast<const uint8_t*>(left), reinterpret_cast<const uint8_t*>(right)};
        const int made = swr_convert(resampler, out, room, left != nullptr ? in : nullptr, count);
        const int written = made > 0 ? av_audio_fifo_write(fifo, reinterpret_cast<void**>(out), made) : 0;
        av_freep(&out[0]);
        av_freep(&out);
        check(made, "resampling");
        if (written < made)
            throw VideoError("no memory for the audio queue");
    }

    // Pixel words 0x00RRGGBB to palette indices, the nearest colour for
    // those not in the palette.
    uint8_t indexOf(uint32_t colour)
    {
        colour &= 0xFFFFFF;
        if (const auto found = paletteIndex.find(colour); found != paletteIndex.end())
            return found->second;
        int best = 0;
        int bestDistance = INT_MAX;
        for (size_t i = 0; i < settings.palette.size(); ++i) {
            const uint32_t p = settings.palette[i];
            const int dr = static_cast<int>((p >> 16) & 0xFF) - static_cast<int>((colour >> 16) & 0xFF);
            const int dg = static_cast<int>((p >> 8) & 0xFF) - static_cast<int>((colour >> 8) & 0xFF);
            const int db = static_cast<int>(p & 0xFF) - static_cast<int>(colour & 0xFF);
            const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(i);
            }
        }
        paletteIndex.emplace(colour, static_cast<uint8_t>(best));
        return static_cast<uint8_t>(best);
    }

    // The picture into the encoder's frame: only the parts that differ from
    // previous, the picture the frame holds, when there is one.
    void convert(const THeadlessPicture& source, const THeadlessPicture* previous)
    {
        check(av_frame_make_writable(picture), "a frame buffer");
        const int width = settings.width;
        const auto rowOf = [width](const THeadlessPicture& p, int y) {
            return p.Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        };
        const auto spanOf = [&](int y) {
            return previous != nullptr ? differingSpan(rowOf(source, y), rowOf(*previous, y), width)
                                       : std::pair<int, int>{0, width};
        };
        const auto line = [this](int plane, int y) {
            return picture->data[plane] + static_cast<ptrdiff_t>(y) * picture->linesize[plane];
        };
        if (video->pix_fmt == AV_PIX_FMT_YUV420P) {
            for (int y = 0; y < settings.height; y += 2) {
                const auto [a0, a1] = spanOf(y);
                const auto [b0, b1] = spanOf(y + 1);
                const int first = std::min(a0 == a1 ? width : a0, b0 == b1 ? width : b0) & ~1;
                const int last = std::min(width, (std::max(a1, b1) + 1) & ~1);
                if (first < last)
                    convertRowPair(rowOf(source, y), rowOf(source, y + 1), first, last, line(0, y), line(0, y + 1),
                                   line(1, y / 2), line(2, y / 2));
            }
            return;
        }
        for (int y = 0; y < settings.height; ++y) {
            const auto [first, last] = spanOf(y);
            const uint32_t* row = rowOf(source, y);
            if (video->pix_fmt == AV_PIX_FMT_BGR0) {
                // The window's words are the bytes B, G, R, unused on this machine.
                std::memcpy(line(0, y) + first * 4, row + first, static_cast<size_t>(last - first) * 4);
                continue;
            }
            uint8_t* out = line(0, y);
            uint32_t lastColour = ~row[0];
            uint8_t lastIndex = 0;
            for (int x = first; x < last; ++x) {
                if (row[x] != lastColour) {
                    lastColour = row[x];
                    lastIndex = indexOf(row[x]);
                }
                out[x] = lastIndex;
            }
        }
    }
};

VideoEncoder::VideoEncoder(const std::string& path, const VideoSettings& settings) : impl_(std::make_unique<Impl>())
{
    // The libraries' reports of their settings and statistics are not the user's business.
    av_log_set_level(AV_LOG_ERROR);
    Impl& d = *impl_;
    d.settings = settings;
    d.names = namesOf(settings.format);
    if ((settings.format == VideoFormat::Mp4 || settings.format == VideoFormat::WebM)
        && (settings.width % 2 != 0 || settings.height % 2 != 0))
        throw VideoError(std::string(d.names.what) + " video needs an even width and height (its colours are stored "
                         "for 2 x 2 pixels at a time), not " + std::to_string(settings.width) + "x"
                         + std::to_string(settings.height));
    if (settings.format == VideoFormat::Gif && settings.palette.empty())
        throw VideoError("GIF video: no palette");
    d.check(avformat_alloc_output_context2(&d.muxer, nullptr, d.names.muxer, path.c_str()), "the file format");
    d.packet = av_packet_alloc();
    if (d.packet == nullptr)
        throw VideoError("no memory for a packet");
    d.openVideo();
    if (settings.audio && d.names.audio != nullptr)
        d.openAudio();
    const int opened = avio_open(&d.muxer->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0)
        throw VideoError("cannot write " + path + ": " + ffmpegText(opened));
    AVDictionary* options = nullptr;
    if (settings.format == VideoFormat::Mp4)
        av_dict_set(&options, "movflags", "+faststart", 0);  // playable while it downloads
    const int written = avformat_write_header(d.muxer, &options);
    av_dict_free(&options);
    d.check(written, "writing the header");
    d.headerWritten = true;
}

VideoEncoder::~VideoEncoder() = default;

void VideoEncoder::addFrame(const THeadlessPicture& picture, const THeadlessPicture* previous)
{
    Impl& d = *impl_;
    if (picture.Width != d.settings.width || picture.Height != d.settings.height
        || (previous != nullptr && (previous->Width != picture.Width || previous->Height != picture.Height)))
        throw VideoError("a frame of another size than the video's");
    if (d.frames == 0)
        d.convert(picture, nullptr);
    else if (previous != &picture)
        d.convert(picture, previous);
    d.picture->pts = d.frames++;
    d.encode(d.video, d.videoStream, d.picture);
}

void VideoEncoder::addAudio(const float* left, const float* right, int frames)
{
    Impl& d = *impl_;
    if (d.audio == nullptr || frames <= 0)
        return;
    d.samplesIn += frames;
    d.resample(left, right, frames);
    d.drainFifo(false);
}

void VideoEncoder::finish()
{
    Impl& d = *impl_;
    if (d.finished)
        return;
    d.encode(d.video, d.videoStream, nullptr);
    if (d.audio != nullptr) {
        d.resample(nullptr, nullptr, 0);
        // Exactly as long as the frames: cut or filled with silence.
        const int64_t wanted = av_rescale(d.frames, d.audio->sample_rate, 10);
        const int64_t have = d.samplesOut + av_audio_fifo_size(d.fifo);
        if (have > wanted)
            av_audio_fifo_drain(d.fifo, static_cast<int>(std::min<int64_t>(have - wanted, av_audio_fifo_size(d.fifo))));
        else if (have < wanted) {
            const int missing = static_cast<int>(wanted - have);
            uint8_t** silence = nullptr;
            d.check(av_samples_alloc_array_and_samples(&silence, nullptr, 2, missing, d.audio->sample_fmt, 0),
                    "an audio buffer");
            av_samples_set_silence(silence, 0, missing, 2, d.audio->sample_fmt);
            const int written = av_audio_fifo_write(d.fifo, reinterpret_cast<void**>(silence), missing);
            av_freep(&silence[0]);
            av_freep(&silence);
            if (written < missing)
                throw VideoError("no memory for the audio queue");
        }
        d.drainFifo(true);
        d.encode(d.audio, d.audioStream, nullptr);
    }
    d.check(av_write_trailer(d.muxer), "completing the file");
    d.check(avio_closep(&d.muxer->pb), "closing the file");
    d.finished = true;
}
