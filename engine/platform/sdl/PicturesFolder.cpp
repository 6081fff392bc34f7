// KvPicturesFolder on Linux and other XDG desktops: where the desktop's
// file manager and image viewers look for pictures.
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "../../core/Platform.h"

namespace {

std::string Env(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

bool IsFolder(const std::string& Path) {
  struct stat Info;
  return !Path.empty() && stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

// XDG_PICTURES_DIR="$HOME/Pictures" or ="/abs/path" in user-dirs.dirs (the
// file xdg-user-dirs-update writes; only these two forms are allowed).
// *Listed tells whether the file names the folder at all.
std::string FromUserDirs(const std::string& Home, bool* Listed) {
  *Listed = false;
  const std::string Config = Env("XDG_CONFIG_HOME");
  if (Config.empty() && Home.empty()) return "";
  std::ifstream In((Config.empty() ? Home + "/.config" : Config) + "/user-dirs.dirs");
  const std::string Key = "XDG_PICTURES_DIR=\"";
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.rfind(Key, 0) != 0 || Line.size() <= Key.size() || Line.back() != '"') continue;
    std::string Value = Line.substr(Key.size(), Line.size() - Key.size() - 1);
    *Listed = true;
    if (Value.rfind("$HOME", 0) == 0) {
      if (Home.empty()) return "";
      Value = Home + Value.substr(5);
    }
    // The home folder itself means "no pictures folder" (the user turned it
    // off).
    if (Value == Home || Value == Home + "/") return "";
    return Value;
  }
  return "";
}

}  // namespace

std::string KvPicturesFolder() {
  const std::string Set = Env("XDG_PICTURES_DIR");
  if (!Set.empty()) return Set;
  const std::string Home = Env("HOME");
  bool Listed = false;
  const std::string FromFile = FromUserDirs(Home, &Listed);
  if (Listed) return FromFile;
  if (!Home.empty() && IsFolder(Home + "/Pictures")) return Home + "/Pictures";
  return "";
}
