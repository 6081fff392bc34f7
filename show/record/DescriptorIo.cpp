// KvWriteToDescriptor (see DescriptorIo.h).
#include "DescriptorIo.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr int BufferBytes = 1 << 16;

struct Cursor {
  int Fd = -1;
  int64_t Position = 0;
};

int ReadPacket(void* Opaque, uint8_t* Data, int Size) {
  Cursor* C = static_cast<Cursor*>(Opaque);
  for (;;) {
    const ssize_t Got = pread(C->Fd, Data, size_t(Size), C->Position);
    if (Got < 0 && errno == EINTR) continue;
    if (Got < 0) return AVERROR(errno);
    if (Got == 0) return AVERROR_EOF;
    C->Position += Got;
    return int(Got);
  }
}

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int WritePacket(void* Opaque, const uint8_t* Data, int Size) {
#else
int WritePacket(void* Opaque, uint8_t* Data, int Size) {
#endif
  Cursor* C = static_cast<Cursor*>(Opaque);
  int Left = Size;
  while (Left > 0) {
    const ssize_t Done = pwrite(C->Fd, Data, size_t(Left), C->Position);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) return AVERROR(Done < 0 ? errno : EIO);
    Data += Done;
    Left -= int(Done);
    C->Position += Done;
  }
  return Size;
}

int64_t Seek(void* Opaque, int64_t Offset, int Whence) {
  Cursor* C = static_cast<Cursor*>(Opaque);
  struct stat Info;
  switch (Whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return fstat(C->Fd, &Info) == 0 ? int64_t(Info.st_size) : AVERROR(errno);
    case SEEK_SET:
      break;
    case SEEK_CUR:
      Offset += C->Position;
      break;
    case SEEK_END:
      if (fstat(C->Fd, &Info) != 0) return AVERROR(errno);
      Offset += Info.st_size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (Offset < 0) return AVERROR(EINVAL);
  C->Position = Offset;
  return Offset;
}

AVIOContext* OpenContext(int Fd, bool Write) {
  uint8_t* Buffer = static_cast<uint8_t*>(av_malloc(BufferBytes));
  Cursor* C = new Cursor{Fd, 0};
  AVIOContext* Io = Buffer ? avio_alloc_context(Buffer, BufferBytes, Write ? 1 : 0, C, ReadPacket, WritePacket, Seek) : nullptr;
  if (!Io) {
    av_free(Buffer);
    delete C;
  }
  return Io;
}

int CloseContext(AVIOContext* Io) {
  if (!Io) return 0;
  avio_flush(Io);
  const int Error = Io->error;
  delete static_cast<Cursor*>(Io->opaque);
  av_freep(&Io->buffer);
  avio_context_free(&Io);
  return Error;
}

// The muxer opens its own file again by name for some passes; it gets the
// descriptor instead, whatever the name now is.
int OpenAgain(AVFormatContext* Out, AVIOContext** Io, const char*, int Flags, AVDictionary**) {
  *Io = OpenContext(*static_cast<int*>(Out->opaque), (Flags & AVIO_FLAG_WRITE) != 0);
  return *Io ? 0 : AVERROR(ENOMEM);
}

int CloseAgain(AVFormatContext*, AVIOContext* Io) { return CloseContext(Io); }
}  // namespace

int KvWriteToDescriptor(AVFormatContext* Out, int Fd) {
  Out->opaque = new int(Fd);
  Out->io_open = OpenAgain;
  Out->io_close2 = CloseAgain;
  Out->flags |= AVFMT_FLAG_CUSTOM_IO;
  Out->pb = OpenContext(Fd, true);
  return Out->pb ? 0 : AVERROR(ENOMEM);
}

int KvCloseDescriptorOutput(AVFormatContext* Out) {
  if (!Out) return 0;
  const int Error = CloseContext(Out->pb);
  Out->pb = nullptr;
  delete static_cast<int*>(Out->opaque);
  Out->opaque = nullptr;
  return Error;
}
