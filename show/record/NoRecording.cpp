// The recorder's stand-in where FFmpeg is not part of the build (the
// browser and Windows builds). A command line that asks for --record gets
// one clear error instead of a missing symbol; the page never asks.
//
// Depends on: FrameOutput.h, record/VideoFile.h, engine/core/Errors.h.
#include "../FrameOutput.h"
#include "VideoFile.h"
#include <kelvra/core/Errors.h>

namespace {
#ifdef _WIN32
constexpr const char* kNoRecording = "Recording is not part of the Windows build (the Linux build records)";
#else
constexpr const char* kNoRecording = "Recording is not part of the browser build";
#endif
}  // namespace

bool RecordFormatOf(const std::string&, RecordFormat*) { return false; }
QualityRange QualityRangeOf(RecordFormat) { return QualityRange(); }
bool VideoSizeFits(RecordFormat, int, int, std::string*) { return true; }

std::unique_ptr<FrameOutput> MakeRecorder(const std::string&, bool, bool) {
  FatalError(KvErrorLine("[Nerith]", "Record", kNoRecording).c_str());
}
