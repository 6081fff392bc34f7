// libavformat's output on a descriptor instead of a file name: a muxer
// writes (and, for the passes that move data, reads) the open temporary
// file itself, so nothing can be put in its place between creating it and
// writing it. Each AVIOContext keeps its own position (pread/pwrite), so a
// muxer's second context on the same file does not disturb the first.
//
// Depends on: libavformat (custom I/O), POSIX pread, pwrite.
#pragma once

struct AVFormatContext;

// Gives Out a context writing Fd, and makes the muxer's own requests to open
// its file again (the moov move of +faststart) read and write Fd too. Fd
// stays the caller's. Negative AVERROR on failure.
int KvWriteToDescriptor(AVFormatContext* Out, int Fd);
// Flushes and frees Out's context; the first write error, or 0.
int KvCloseDescriptorOutput(AVFormatContext* Out);
