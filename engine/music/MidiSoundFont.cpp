// The General MIDI soundfont search: see MidiSoundFont.h.
#include "MidiSoundFont.h"

#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace {

std::mutex OverrideLock;
std::vector<std::string> Override;

// FluidSynth's compiled-in default soundfont (Debian: default-GM.sf2).
std::string FluidDefaultSoundFont() {
  fluid_settings_t* Settings = new_fluid_settings();
  if (!Settings) return std::string();
  std::string Path;
  char* Value = nullptr;
  if (fluid_settings_dupstr(Settings, "synth.default-soundfont", &Value) == FLUID_OK && Value) {
    Path = Value;
    fluid_free(Value);
  }
  delete_fluid_settings(Settings);
  return Path;
}

}  // namespace

std::vector<std::string> KvSoundFontCandidates() {
  {
    std::lock_guard<std::mutex> G(OverrideLock);
    if (!Override.empty()) return Override;
  }
  std::vector<std::string> List;
  // The user's own soundfont folder first (XDG data home).
  const char* DataHome = std::getenv("XDG_DATA_HOME");
  const char* Home = std::getenv("HOME");
  std::string UserFolder;
  if (DataHome && *DataHome)
    UserFolder = std::string(DataHome) + "/soundfonts";
  else if (Home && *Home)
    UserFolder = std::string(Home) + "/.local/share/soundfonts";
  if (!UserFolder.empty()) List.push_back(UserFolder + "/default.sf2");
  // The system's choice (Debian's alternatives link), then the packages' files.
  for (const char* Path : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
                           "/usr/share/soundfonts/default.sf2", "/usr/share/soundfonts/default.sf3"})
    List.push_back(Path);
  const std::string Fluid = FluidDefaultSoundFont();
  if (!Fluid.empty()) List.push_back(Fluid);
  for (const char* Path : {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/MuseScore_General.sf3",
                           "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/soundfonts/FluidR3_GM.sf2"})
    List.push_back(Path);
  return List;
}

std::string KvFindSoundFont(const std::vector<std::string>& Candidates) {
  for (const std::string& Path : Candidates) {
    struct stat St;
    if (stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode) && access(Path.c_str(), R_OK) == 0) return Path;
  }
  return std::string();
}

std::string KvMissingSoundFontText() {
  return "No General MIDI soundfont found (looked for /usr/share/sounds/sf2/default-GM.sf2 and the other "
         "standard soundfont places); install fluid-soundfont-gm or timgm6mb-soundfont to play MIDI music...";
}

void KvSetSoundFontCandidatesForTest(std::vector<std::string> Candidates) {
  std::lock_guard<std::mutex> G(OverrideLock);
  Override = std::move(Candidates);
}
