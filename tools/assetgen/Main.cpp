// assetgen: writes every asset of the show (pictures, meshes, music) into one
// folder, deterministically, and review pictures of them into another.
//
//   assetgen OUTDIR [--review DIR] [--icons DIR] [--no-music] [--music-only] [--quiet]
//
// OUTDIR receives GFX/, ASC/ and SND/ with the exact file names the show
// opens; --icons DIR the desktop icons as DIR/icon_<size>.png (RGBA). Every run with the same libraries writes the same bytes. Exit status
// 0 on success, 1 with a message on standard error otherwise, 2 for a bad
// command line.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Icon.h"
#include "Meshes.h"
#include "Music.h"
#include "Pictures.h"
#include "Review.h"
#include "Text.h"
#include "Writers.h"

namespace fs = std::filesystem;
using namespace assetgen;

namespace {

struct Options {
  std::string Out;
  std::string Review;
  std::string Icons;
  bool Pictures = true, Meshes = true, Music = true, Quiet = false;
};

void Usage() {
  std::fprintf(stderr,
               "usage: assetgen OUTDIR [--review DIR] [--icons DIR] [--no-music] [--music-only] [--quiet]\n"
               "  writes GFX/, ASC/ and SND/ of the show into OUTDIR\n");
}

bool ParseArgs(int Argc, char** Argv, Options& O) {
  for (int I = 1; I < Argc; ++I) {
    std::string A = Argv[I];
    if (A == "--review" && I + 1 < Argc) O.Review = Argv[++I];
    else if (A == "--icons" && I + 1 < Argc) O.Icons = Argv[++I];
    else if (A == "--no-music") O.Music = false;
    else if (A == "--music-only") O.Pictures = O.Meshes = false;
    else if (A == "--quiet") O.Quiet = true;
    else if (A == "--help" || A == "-h") return false;
    else if (!A.empty() && A[0] != '-' && O.Out.empty()) O.Out = A;
    else {
      std::fprintf(stderr, "assetgen: unknown or incomplete argument '%s'\n", A.c_str());
      return false;
    }
  }
  if (O.Out.empty()) {
    std::fprintf(stderr, "assetgen: no output folder given\n");
    return false;
  }
  if (!O.Music && !O.Pictures) {
    std::fprintf(stderr, "assetgen: --no-music and --music-only leave nothing to do\n");
    return false;
  }
  return true;
}

void MakeDir(const fs::path& P) {
  std::error_code Ec;
  fs::create_directories(P, Ec);
  if (Ec) throw std::runtime_error("cannot create folder " + P.string() + ": " + Ec.message());
}

class Progress {
 public:
  explicit Progress(bool Quiet) : Quiet_(Quiet), Start_(Clock::now()) {}
  // Runs Work and prints one line for it: the file and how long it took.
  // May be called from two threads at once; each line is printed whole.
  void Step(const std::string& What, const std::function<std::string()>& Work) {
    auto T0 = Clock::now();
    std::string Detail = Work();
    std::lock_guard<std::mutex> Guard(Lock_);
    if (!Quiet_)
      std::printf("assetgen: %-26s %-30s %6.2f s\n", What.c_str(), Detail.c_str(), Seconds(T0));
    std::fflush(stdout);
  }
  double Total() const { return Seconds(Start_); }

 private:
  using Clock = std::chrono::steady_clock;
  static double Seconds(Clock::time_point T0) {
    return std::chrono::duration<double>(Clock::now() - T0).count();
  }
  bool Quiet_;
  Clock::time_point Start_;
  std::mutex Lock_;
};

// The soundtrack's file, from the show's asset table.
#define NERITH_ASSET_Music(Name, File) constexpr const char* kMusicFile = File;
#include "../../show/AssetTable.h"

// The sizes the desktop's hicolor theme gets (menus, launchers, software centres).
constexpr int kIconSizes[] = {48, 64, 128, 256};

std::string Size(const Image8& P) { return std::to_string(P.W) + " x " + std::to_string(P.H); }

void Run(const Options& O) {
  Progress Log(O.Quiet);
  const fs::path Root(O.Out);
  std::vector<NamedPicture> Pictures;
  std::vector<Mesh> Meshes;

  // The music is independent of everything else and takes longest: it runs
  // on a thread of its own while the pictures and meshes are made.
  std::exception_ptr MusicError;
  std::thread MusicThread;
  if (O.Music) {
    MakeDir(Root / "SND");
    MusicThread = std::thread([&] {
      try {
        std::vector<float> Tune;
        Log.Step("music synthesis", [&] {
          Tune = RenderTune();
          char B[64];
          std::snprintf(B, sizeof B, "%.2f s stereo 44.1 kHz", double(Tune.size() / 2) / 44100.0);
          return std::string(B);
        });
        Log.Step(kMusicFile, [&] {
          std::vector<unsigned char> Mp3 = EncodeMp3(Tune, 192);
          WriteBytes((Root / kMusicFile).string(), Mp3);
          return std::to_string(Mp3.size() / 1024) + " KiB, 192 kbit/s";
        });
        if (!O.Review.empty()) {
          MakeDir(O.Review);
          Log.Step("review/music_spectrogram.png", [&] {
            const std::vector<int> Marks(std::begin(SceneSteps) + 1, std::end(SceneSteps));
            Image8 Sheet = Spectrogram(Tune, Marks);
            WritePng((fs::path(O.Review) / "music_spectrogram.png").string(), Sheet);
            std::vector<int> Steps = Marks;
            Steps.insert(Steps.begin(), 0);
            WriteText((fs::path(O.Review) / "music_levels.txt").string(), MusicLevels(Tune, Steps));
            return Size(Sheet);
          });
        }
      } catch (...) {
        MusicError = std::current_exception();
      }
    });
  }
  // Whatever happens below, the music thread is joined before returning.
  struct Joiner {
    std::thread& T;
    ~Joiner() {
      if (T.joinable()) T.join();
    }
  } JoinMusic{MusicThread};

  if (O.Pictures) {
    MakeDir(Root / "GFX");
    struct PictureJob {
      const char* Name;
      Image8 (*Make)();
    };
    const PictureJob Jobs[] = {
#define NERITH_ASSET_Picture(Name, File) {File, Make##Name},
#include "../../show/AssetTable.h"
    };
    for (const PictureJob& J : Jobs) {
      Log.Step(J.Name, [&] {
        Image8 P = J.Make();
        const std::string Path = (Root / J.Name).string();
        const std::string Ending = fs::path(J.Name).extension().string();
        if (Ending == ".jpg") WriteJpeg(Path, P, 90);
        else if (Ending == ".bmp") WriteBmp24(Path, P);
        else WritePng(Path, P);
        Pictures.push_back({J.Name, P});
        return Size(P);
      });
    }
  }

  if (O.Meshes) {
    MakeDir(Root / "ASC");
    const struct {
      const char* Name;
      Mesh (*Make)();
    } Jobs[] = {
#define NERITH_ASSET_Mesh(Name, File) {File, Make##Name},
#include "../../show/AssetTable.h"
    };
    for (const auto& J : Jobs) {
      Log.Step(J.Name, [&] {
        Mesh M = J.Make();
        ValidateMesh(M);
        WriteText((Root / J.Name).string(), FormatAsc(M));
        Meshes.push_back(M);
        return std::to_string(M.V.size()) + " vertices, " + std::to_string(M.F.size()) + " faces";
      });
    }
  }

  if (!O.Icons.empty() && O.Pictures) {
    MakeDir(O.Icons);
    for (int Side : kIconSizes) {
      const std::string Name = "icon_" + std::to_string(Side) + ".png";
      Log.Step("icons/" + Name, [&] {
        IconPicture Icon = MakeIcon(Side);
        WritePngRgba((fs::path(O.Icons) / Name).string(), Icon.Color, Icon.Alpha);
        return Size(Icon.Color) + " RGBA";
      });
    }
  }

  if (!O.Review.empty() && O.Pictures) {
    const fs::path Rev(O.Review);
    MakeDir(Rev);
    Log.Step("review/contact_sheet.png", [&] {
      Image8 Sheet = ContactSheet(Pictures);
      WritePng((Rev / "contact_sheet.png").string(), Sheet);
      return Size(Sheet);
    });
    Log.Step("review/mock-ups", [&] {
      std::vector<NamedPicture> Mocks = MockUps(Pictures);
      for (const NamedPicture& P : Mocks) WritePng((Rev / P.Name).string(), P.Pic);
      return std::to_string(Mocks.size()) + " screens";
    });
    for (const Mesh& M : Meshes) {
      Log.Step("review/mesh_" + M.Name + ".png", [&] {
        Image8 P = MeshPreview(M);
        WritePng((Rev / ("mesh_" + M.Name + ".png")).string(), P);
        return Size(P);
      });
    }
  }
  if (MusicThread.joinable()) MusicThread.join();
  if (MusicError) std::rethrow_exception(MusicError);
  if (!O.Quiet) std::printf("assetgen: done in %.1f s\n", Log.Total());
}

}  // namespace

int main(int Argc, char** Argv) {
  Options O;
  if (!ParseArgs(Argc, Argv, O)) {
    Usage();
    return 2;
  }
  int Status = 0;
  try {
    Run(O);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "assetgen: %s\n", E.what());
    Status = 1;
  }
  ReleaseFonts();
  return Status;
}
