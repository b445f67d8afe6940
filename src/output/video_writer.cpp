#include "output/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace vellumry {

namespace {

// Encoder threads: fixed, so that a file comes out the same on every machine.
constexpr int kEncoderThreads = 2;

std::string describe(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool failed(int code, const char* what, std::string& error) {
  if (code >= 0) {
    return false;
  }
  error = std::string(what) + ": " + describe(code);
  return true;
}

// Quality and speed: a near-transparent H.264 at a fast preset; VP9 in its real-time mode at
// constant quality.
bool configure(AVCodecContext* codec, OutputFormat format, std::string& error) {
  int status = 0;
  if (format == OutputFormat::kMp4) {
    status = av_opt_set(codec->priv_data, "preset", "veryfast", 0);
    status = status < 0 ? status : av_opt_set(codec->priv_data, "crf", "20", 0);
  } else {
    codec->bit_rate = 0;
    status = av_opt_set(codec->priv_data, "deadline", "realtime", 0);
    status = status < 0 ? status : av_opt_set_int(codec->priv_data, "cpu-used", 8, 0);
    status = status < 0 ? status : av_opt_set_int(codec->priv_data, "crf", 36, 0);
    status = status < 0 ? status : av_opt_set_int(codec->priv_data, "row-mt", 1, 0);
  }
  return !failed(status, "encoder options", error);
}

}  // namespace

VideoWriter::~VideoWriter() { abandon(); }

void VideoWriter::abandon() {
  if (format_ != nullptr && format_->pb != nullptr) {
    avio_closep(&format_->pb);
  }
  avformat_free_context(format_);
  format_ = nullptr;
  avcodec_free_context(&codec_);
  sws_freeContext(scale_);
  scale_ = nullptr;
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  stream_ = nullptr;
  headerWritten_ = false;
}

bool VideoWriter::open(const std::string& path, OutputFormat format, int width, int height,
                       std::string& error) {
  abandon();
  width_ = width;
  height_ = height;
  frames_ = 0;
  const bool mp4 = format == OutputFormat::kMp4;
  av_log_set_level(AV_LOG_ERROR);
  const AVCodec* encoder = avcodec_find_encoder_by_name(mp4 ? "libx264" : "libvpx-vp9");
  if (encoder == nullptr) {
    error = mp4 ? "no H.264 encoder (libx264) in this FFmpeg"
                : "no VP9 encoder (libvpx) in this FFmpeg";
    return false;
  }
  if (failed(avformat_alloc_output_context2(&format_, nullptr, mp4 ? "mp4" : "webm", path.c_str()),
             "output format", error)) {
    return false;
  }
  format_->flags |= AVFMT_FLAG_BITEXACT;  // no random identifiers: a session gives the same file
  codec_ = avcodec_alloc_context3(encoder);
  stream_ = avformat_new_stream(format_, nullptr);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (codec_ == nullptr || stream_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
    error = "out of memory";
    return false;
  }
  codec_->width = width;
  codec_->height = height;
  codec_->pix_fmt = AV_PIX_FMT_YUV420P;
  codec_->time_base = {1, kFramesPerSecond};
  codec_->framerate = {kFramesPerSecond, 1};
  codec_->thread_count = kEncoderThreads;
  codec_->colorspace = AVCOL_SPC_BT709;
  codec_->color_primaries = AVCOL_PRI_BT709;
  codec_->color_trc = AVCOL_TRC_BT709;
  codec_->color_range = AVCOL_RANGE_MPEG;
  if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (!configure(codec_, format, error) ||
      failed(avcodec_open2(codec_, encoder, nullptr), "opening the encoder", error) ||
      failed(avcodec_parameters_from_context(stream_->codecpar, codec_), "stream", error)) {
    return false;
  }
  stream_->time_base = codec_->time_base;
  stream_->avg_frame_rate = codec_->framerate;
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  frame_->colorspace = codec_->colorspace;
  frame_->color_range = codec_->color_range;
  if (failed(av_frame_get_buffer(frame_, 0), "frame buffer", error)) {
    return false;
  }
  scale_ = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                          SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (scale_ == nullptr) {
    error = "no RGB to YUV conversion for this size";
    return false;
  }
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(scale_, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  AVDictionary* options = nullptr;
  if (mp4) {
    // The index at the front, so that a player can start before the whole file has arrived.
    av_dict_set(&options, "movflags", "+faststart", 0);
  }
  int status = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE);
  status = status < 0 ? status : avformat_write_header(format_, &options);
  av_dict_free(&options);
  if (failed(status, "writing the header", error)) {
    return false;
  }
  headerWritten_ = true;
  return true;
}

bool VideoWriter::send(const AVFrame* frame, std::string& error) {
  int status = avcodec_send_frame(codec_, frame);
  while (status >= 0) {
    status = avcodec_receive_packet(codec_, packet_);
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) {
      return true;
    }
    if (status >= 0) {
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      status = av_interleaved_write_frame(format_, packet_);  // takes the packet's data
    }
  }
  return !failed(status, "encoding", error);
}

bool VideoWriter::addFrame(const std::uint8_t* pixels, std::string& error) {
  if (failed(av_frame_make_writable(frame_), "frame buffer", error)) {
    return false;
  }
  // GL's rows run bottom up: start at the last row and step backwards.
  const std::uint8_t* const source[1] = {pixels +
                                         static_cast<std::size_t>(height_ - 1) * width_ * 3};
  const int stride[1] = {-3 * width_};
  sws_scale(scale_, source, stride, 0, height_, frame_->data, frame_->linesize);
  frame_->pts = frames_++;
  return send(frame_, error);
}

bool VideoWriter::finish(std::string& error) {
  if (!headerWritten_) {
    error = "no video open";
    return false;
  }
  const bool ok = send(nullptr, error) &&
                  !failed(av_write_trailer(format_), "completing the file", error) &&
                  !failed(format_->pb->error, "writing", error);
  headerWritten_ = false;
  const int closed = avio_closep(&format_->pb);
  abandon();
  return ok && !failed(closed, "closing the file", error);
}

}  // namespace vellumry
