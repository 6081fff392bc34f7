// TSoundKv's bookkeeping, the same for every player (the native one in
// Sound.cpp, the browser's in platform/web/WebSound.cpp): the count of live
// sound objects, the version check and the one way a failure is reported.
#include "Errors.h"
#include "Kelvra.h"
#include "Sound.h"

int16_t SoundCount = 0;
const float MinFmodVersion = 3.31f;
const float KvSoundPlayerVersion = 3.31f;

void TSoundKv::BeginCreate(TKelvra* Display) {
  if (KvSoundPlayerVersion < MinFmodVersion)
    Error("Create", "Wrong FMOD version, get the latest at www.fmod.org...");
  Window = Display ? Display->Window : 0;
}

void TSoundKv::CountIn() {
  ++SoundCount;
  Counted = true;
}

// An object that failed during its construction was never counted and does
// not uncount itself.
bool TSoundKv::CountOut() {
  if (!Counted) return false;
  --SoundCount;
  Counted = false;
  return true;
}

TSoundKv::~TSoundKv() { Release(); }

void TSoundKv::Error(const std::string& Step, const std::string& Message) {
  Release();
  CloseAfterError();
  FatalError(KvErrorLine("[SoundKv]", Step, Message).c_str());
}
