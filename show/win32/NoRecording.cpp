// The Windows build records no video: FFmpeg is not part of it. A command
// line that asks for --record gets one clear error instead of a missing
// symbol.
//
// Depends on: FrameOutput.h, record/VideoFile.h, engine/core/Errors.h.
#include "../FrameOutput.h"
#include "../record/VideoFile.h"
#include <kelvra/core/Errors.h>

bool RecordFormatOf(const std::string&, RecordFormat*) { return false; }
QualityRange QualityRangeOf(RecordFormat) { return QualityRange(); }
bool VideoSizeFits(RecordFormat, int, int, std::string*) { return true; }

std::unique_ptr<FrameOutput> MakeRecorder(const std::string&, int, bool, bool) {
  FatalError(
      KvErrorLine("[Nerith]", "Record", "Recording is not part of the Windows build (the Linux build records)")
          .c_str());
}
