// VideoFile: one video file being written through libavformat and
// libavcodec, its container and codecs chosen by the file name's extension:
//
//   .mp4   H.264 (libx264, yuv420p, constant quality) and AAC
//   .mkv   FFV1 in packed BGR0 (lossless RGB) and FLAC
//   .webm  VP9 (libvpx, yuv420p, constant quality) and Opus
//
// The 4:2:0 files are converted and tagged in one colour system: BT.709
// (matrix, primaries, transfer) above 576 lines, BT.601 (smpte170m) for
// standard definition. An .mp4 has its index (moov) before the media data,
// so that a web player can start it while it downloads.
//
// Frames come as 8-bit RGB at 25 frames per second; frame n has the time
// stamp n / 25 s. The file is written as a temporary file next to Path
// (engine/core/AtomicFile.h) and renamed to Path by Finish, so a file under the
// asked-for name is always complete; an object destroyed unfinished, a
// fatal error and a stop signal remove the temporary file.
//
// Depends on: libavformat, libavcodec, libavutil; PixelConvert.h,
// engine/core/AtomicFile.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

enum class RecordFormat { Mp4, Mkv, WebM };

// The format a file name's extension (any case) asks for; false for any
// other name.
bool RecordFormatOf(const std::string& Path, RecordFormat* Format);

// The encoder's constant-quality scale (CRF) of a format: its range and the
// value used when --quality is not given. Lossless formats have none
// (Highest 0).
struct QualityRange {
  int Lowest = 0, Highest = 0, Default = 0;
};
QualityRange QualityRangeOf(RecordFormat Format);

// Whether Format's encoder takes Width x Height pictures; false with the
// reason in Why. For the command line, before any work starts.
bool VideoSizeFits(RecordFormat Format, int Width, int Height, std::string* Why);

// What the audio encoder takes: interleaved or planar samples (libavutil's
// AVSampleFormat), stereo, at Rate.
struct AudioInput {
  int Rate = 0;
  int SampleFormat = -1;
};

class VideoFile {
 public:
  VideoFile();
  ~VideoFile();
  VideoFile(const VideoFile&) = delete;
  VideoFile& operator=(const VideoFile&) = delete;

  // Creates the file and opens the encoders (no audio stream when Audio is
  // false). On failure: false, Error says why, nothing is left on disk.
  // Quality: the CRF (-1: the format's default).
  bool Open(const std::string& Path, RecordFormat Format, int Width, int Height, bool Audio, std::string* Error,
            int Quality = -1);
  AudioInput AudioWanted() const;

  // The next frame, Width x Height x 3 bytes.
  bool WriteVideo(const uint8_t* Rgb);
  // Samples in AudioWanted's format (Planes: one pointer per plane).
  bool WriteAudio(const uint8_t* const* Planes, int Samples);
  // Drains the encoders, writes the trailer, renames the file.
  bool Finish();
  // Drops the unfinished file; whatever was under Path stays as it was.
  void Discard();
  // The error of the last failed call.
  const std::string& Error() const;

  int64_t FramesWritten() const;
  int64_t SamplesWritten() const;

 private:
  struct State;
  std::unique_ptr<State> S;
};
