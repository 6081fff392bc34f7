// An ALSA sound card for the A/V checks (libasound_module_pcm_kvtest.so):
// S16 stereo at 44,100 Hz, played by its own clock at RATE times the
// nominal speed, standing still once for a while after some seconds of
// music, and reporting its hardware position truthfully, so that the delay
// ALSA derives from it is the one a listener hears. It records what it plays
// and when, for bench/wine_av.py.
//
//   pcm_type.kvtest { lib "/path/libasound_module_pcm_kvtest.so" }
//   pcm.!default { type kvtest; rate 1.001; stall_at 5; stall_ms 200; record "/tmp/run" }
//
// KVTEST_RATE in the environment overrides rate. record PREFIX writes
// PREFIX.raw (the frames consumed, in order), PREFIX.log
// ("CLOCK_REALTIME_US FRAMES_CONSUMED FRAMES_QUEUED" after each step of the
// clock) and PREFIX.end (a summary line at close). Music is every frame from
// the first non-zero one; the stall comes stall_at seconds after it began to
// play. A card that runs dry plays silence (counted in PREFIX.end) and goes
// on: its position never passes what was written.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned Rate = 44100;
constexpr unsigned FrameBytes = 4;
constexpr int TickNs = 1000000;  // the recorder's step

int64_t ClockNs(clockid_t Id) {
  timespec T;
  clock_gettime(Id, &T);
  return int64_t(T.tv_sec) * 1000000000 + T.tv_nsec;
}

struct Device {
  snd_pcm_ioplug_t Io{};
  double Speed = 1.0;
  double StallAt = -1;  // seconds of music; < 0: never
  double StallMs = 200;
  std::string Record;
  std::FILE* Raw = nullptr;
  std::FILE* Log = nullptr;
  int TimerFd = -1;

  std::mutex Lock;  // everything below
  std::vector<uint8_t> Ring;
  uint64_t Written = 0;   // frames given since prepare
  uint64_t Consumed = 0;  // frames played since prepare
  bool Running = false;
  int64_t StartNs = 0;      // CLOCK_MONOTONIC at start
  uint64_t ClockFrames = 0;  // device frames played since start, silence too
  uint64_t Silence = 0;      // frames played for want of data, all runs
  uint64_t Total = 0;        // frames consumed, all runs
  int64_t MusicNs = -1;      // when the first non-zero frame was played
  int64_t StallNs = -1;      // when the stall began
  std::thread Ticker;
  std::atomic<bool> TickerQuit{false};

  // Device frames due at Now: the clock less the stall.
  uint64_t Due(int64_t Now) const {
    double Ns = double(Now - StartNs);
    if (StallNs >= 0) Ns -= std::min(std::max(0.0, double(Now - StallNs)), StallMs * 1e6);
    return Ns <= 0 ? 0 : uint64_t(Ns * 1e-9 * Rate * Speed);
  }

  // Plays up to Now. Called under Lock.
  void Advance(int64_t Now) {
    if (!Running) return;
    if (MusicNs >= 0 && StallNs < 0 && StallAt >= 0 && Now >= MusicNs + int64_t(StallAt * 1e9)) {
      // Frames due before the stall began are played first.
      const int64_t At = MusicNs + int64_t(StallAt * 1e9);
      Play(Due(At) - ClockFrames, At);
      StallNs = At;
    }
    const uint64_t Want = Due(Now);
    if (Want > ClockFrames) Play(Want - ClockFrames, Now);
  }

  void Play(uint64_t Frames, int64_t Now) {
    if (Frames == 0) return;
    ClockFrames += Frames;
    const uint64_t Take = std::min<uint64_t>(Frames, Written - Consumed);
    Silence += Frames - Take;
    const size_t RingFrames = Ring.size() / FrameBytes;
    for (uint64_t Done = 0; Done < Take;) {
      const size_t At = size_t((Consumed + Done) % RingFrames);
      const size_t N = size_t(std::min<uint64_t>(Take - Done, RingFrames - At));
      const uint8_t* P = &Ring[At * FrameBytes];
      if (MusicNs < 0) {
        for (size_t I = 0; I < N * FrameBytes; ++I)
          if (P[I]) {
            MusicNs = Now;
            break;
          }
      }
      if (Raw) std::fwrite(P, FrameBytes, N, Raw);
      Done += N;
    }
    Consumed += Take;
    Total += Take;
    if (Log && Take)
      std::fprintf(Log, "%lld %llu %llu\n", (long long)(ClockNs(CLOCK_REALTIME) / 1000), (unsigned long long)Total,
                   (unsigned long long)(Written - Consumed));
  }

  void Tick() {
    int64_t Next = ClockNs(CLOCK_MONOTONIC);
    while (!TickerQuit.load()) {
      Next += TickNs;
      const timespec T{time_t(Next / 1000000000), long(Next % 1000000000)};
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &T, nullptr);
      const int64_t Now = ClockNs(CLOCK_MONOTONIC);
      if (Now > Next + 50 * int64_t(TickNs)) Next = Now;  // far behind: no burst
      std::lock_guard<std::mutex> G(Lock);
      Advance(Now);
    }
  }

  void StopTicker() {
    TickerQuit.store(true);
    if (Ticker.joinable()) Ticker.join();
    TickerQuit.store(false);
  }
};

Device* Of(snd_pcm_ioplug_t* Io) { return static_cast<Device*>(Io->private_data); }

int Start(snd_pcm_ioplug_t* Io) {
  Device* D = Of(Io);
  {
    std::lock_guard<std::mutex> G(D->Lock);
    D->Running = true;
    D->StartNs = ClockNs(CLOCK_MONOTONIC);
    D->ClockFrames = 0;
  }
  D->Ticker = std::thread(&Device::Tick, D);
  return 0;
}

int Stop(snd_pcm_ioplug_t* Io) {
  Device* D = Of(Io);
  D->StopTicker();
  std::lock_guard<std::mutex> G(D->Lock);
  D->Advance(ClockNs(CLOCK_MONOTONIC));
  D->Running = false;
  return 0;
}

snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* Io) {
  Device* D = Of(Io);
  std::lock_guard<std::mutex> G(D->Lock);
  D->Advance(ClockNs(CLOCK_MONOTONIC));
  snd_pcm_uframes_t Boundary = 0;
  snd_pcm_sw_params_t* Sw;
  snd_pcm_sw_params_alloca(&Sw);
  snd_pcm_sw_params_current(Io->pcm, Sw);
  snd_pcm_sw_params_get_boundary(Sw, &Boundary);
  return snd_pcm_sframes_t(Boundary ? D->Consumed % Boundary : D->Consumed);
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* Io, const snd_pcm_channel_area_t* Areas, snd_pcm_uframes_t Offset,
                           snd_pcm_uframes_t Size) {
  Device* D = Of(Io);
  std::lock_guard<std::mutex> G(D->Lock);
  D->Advance(ClockNs(CLOCK_MONOTONIC));
  const size_t RingFrames = D->Ring.size() / FrameBytes;
  Size = std::min<snd_pcm_uframes_t>(Size, RingFrames - (D->Written - D->Consumed));
  const uint8_t* From = static_cast<const uint8_t*>(Areas[0].addr) + Areas[0].first / 8 + Offset * FrameBytes;
  for (snd_pcm_uframes_t Done = 0; Done < Size;) {
    const size_t At = size_t((D->Written + Done) % RingFrames);
    const size_t N = size_t(std::min<uint64_t>(Size - Done, RingFrames - At));
    std::memcpy(&D->Ring[At * FrameBytes], From + Done * FrameBytes, N * FrameBytes);
    Done += N;
  }
  D->Written += Size;
  return snd_pcm_sframes_t(Size);
}

int Prepare(snd_pcm_ioplug_t* Io) {
  Device* D = Of(Io);
  D->StopTicker();
  std::lock_guard<std::mutex> G(D->Lock);
  D->Running = false;
  D->Written = D->Consumed = 0;
  D->Ring.assign(size_t(Io->buffer_size) * FrameBytes, 0);
  return 0;
}

int PollRevents(snd_pcm_ioplug_t* Io, struct pollfd* Pfd, unsigned int, unsigned short* Revents) {
  Device* D = Of(Io);
  uint64_t Expirations;
  if (Pfd[0].revents & POLLIN) (void)!read(D->TimerFd, &Expirations, sizeof Expirations);
  const snd_pcm_sframes_t Avail = snd_pcm_avail_update(Io->pcm);
  snd_pcm_uframes_t Min = 1;
  snd_pcm_sw_params_t* Sw;
  snd_pcm_sw_params_alloca(&Sw);
  if (snd_pcm_sw_params_current(Io->pcm, Sw) == 0) snd_pcm_sw_params_get_avail_min(Sw, &Min);
  *Revents = Avail < 0 ? POLLERR : snd_pcm_uframes_t(Avail) >= Min ? POLLOUT : 0;
  return 0;
}

int Close(snd_pcm_ioplug_t* Io) {
  Device* D = Of(Io);
  D->StopTicker();
  if (!D->Record.empty()) {
    if (std::FILE* End = std::fopen((D->Record + ".end").c_str(), "w")) {
      std::fprintf(End, "consumed %llu silence %llu speed %g\n", (unsigned long long)D->Total,
                   (unsigned long long)D->Silence, D->Speed);
      std::fclose(End);
    }
  }
  if (D->Raw) std::fclose(D->Raw);
  if (D->Log) std::fclose(D->Log);
  if (D->TimerFd >= 0) close(D->TimerFd);
  delete D;
  return 0;
}

const snd_pcm_ioplug_callback_t Callbacks = [] {
  snd_pcm_ioplug_callback_t C{};
  C.start = Start;
  C.stop = Stop;
  C.pointer = Pointer;
  C.transfer = Transfer;
  C.prepare = Prepare;
  C.poll_revents = PollRevents;
  C.close = Close;
  return C;
}();

bool Number(snd_config_t* N, double& Out) {
  char* Text = nullptr;
  if (snd_config_get_ascii(N, &Text) < 0) return false;
  char* End = nullptr;
  Out = std::strtod(Text, &End);
  const bool Ok = End != Text && *End == 0;
  std::free(Text);
  return Ok;
}

int Constrain(snd_pcm_ioplug_t* Io) {
  static const unsigned Access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned Formats[] = {SND_PCM_FORMAT_S16_LE};
  int E;
  if ((E = snd_pcm_ioplug_set_param_list(Io, SND_PCM_IOPLUG_HW_ACCESS, 1, Access)) < 0 ||
      (E = snd_pcm_ioplug_set_param_list(Io, SND_PCM_IOPLUG_HW_FORMAT, 1, Formats)) < 0 ||
      (E = snd_pcm_ioplug_set_param_minmax(Io, SND_PCM_IOPLUG_HW_CHANNELS, 2, 2)) < 0 ||
      (E = snd_pcm_ioplug_set_param_minmax(Io, SND_PCM_IOPLUG_HW_RATE, Rate, Rate)) < 0 ||
      (E = snd_pcm_ioplug_set_param_minmax(Io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64 * FrameBytes, 65536 * FrameBytes)) < 0 ||
      (E = snd_pcm_ioplug_set_param_minmax(Io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0 ||
      (E = snd_pcm_ioplug_set_param_minmax(Io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128 * FrameBytes, 262144 * FrameBytes)) < 0)
    return E;
  return 0;
}

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(kvtest) {
  if (stream != SND_PCM_STREAM_PLAYBACK) {
    SNDERR("kvtest plays only");
    return -EINVAL;
  }
  Device* D = new Device;
  snd_config_iterator_t I, Next;
  snd_config_for_each(I, Next, conf) {
    snd_config_t* N = snd_config_iterator_entry(I);
    const char* Id;
    if (snd_config_get_id(N, &Id) < 0) continue;
    if (!std::strcmp(Id, "comment") || !std::strcmp(Id, "type") || !std::strcmp(Id, "hint")) continue;
    bool Ok = true;
    if (!std::strcmp(Id, "rate")) Ok = Number(N, D->Speed) && D->Speed > 0.5 && D->Speed < 2;
    else if (!std::strcmp(Id, "stall_at")) Ok = Number(N, D->StallAt);
    else if (!std::strcmp(Id, "stall_ms")) Ok = Number(N, D->StallMs) && D->StallMs >= 0;
    else if (!std::strcmp(Id, "record")) {
      const char* S;
      Ok = snd_config_get_string(N, &S) >= 0;
      if (Ok) D->Record = S;
    } else {
      SNDERR("kvtest: unknown field %s", Id);
      Ok = false;
    }
    if (!Ok) {
      SNDERR("kvtest: bad value for %s", Id);
      delete D;
      return -EINVAL;
    }
  }
  if (const char* Env = std::getenv("KVTEST_RATE")) {
    D->Speed = std::atof(Env);
    if (!(D->Speed > 0.5 && D->Speed < 2)) {
      SNDERR("kvtest: bad KVTEST_RATE %s", Env);
      delete D;
      return -EINVAL;
    }
  }
  if (!D->Record.empty()) {
    D->Raw = std::fopen((D->Record + ".raw").c_str(), "wb");
    D->Log = std::fopen((D->Record + ".log").c_str(), "w");
    if (!D->Raw || !D->Log) {
      SNDERR("kvtest: cannot write %s.raw / .log", D->Record.c_str());
      if (D->Raw) std::fclose(D->Raw);
      if (D->Log) std::fclose(D->Log);
      delete D;
      return -EIO;
    }
  }
  // The poll descriptor: a timer every millisecond; PollRevents says
  // whether there is room.
  D->TimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  const itimerspec Every{{0, TickNs}, {0, TickNs}};
  if (D->TimerFd < 0 || timerfd_settime(D->TimerFd, 0, &Every, nullptr) < 0) {
    if (D->TimerFd >= 0) close(D->TimerFd);
    delete D;
    return -errno;
  }
  D->Io.version = SND_PCM_IOPLUG_VERSION;
  D->Io.name = "Kelvra test sound card";
  D->Io.mmap_rw = 0;
  D->Io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA | SND_PCM_IOPLUG_FLAG_MONOTONIC;
  D->Io.poll_fd = D->TimerFd;
  D->Io.poll_events = POLLIN;
  D->Io.callback = &Callbacks;
  D->Io.private_data = D;
  int E = snd_pcm_ioplug_create(&D->Io, name, stream, mode);
  if (E < 0) {
    close(D->TimerFd);
    delete D;
    return E;
  }
  if ((E = Constrain(&D->Io)) < 0) {
    snd_pcm_ioplug_delete(&D->Io);
    return E;
  }
  *pcmp = D->Io.pcm;
  return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(kvtest);
}
