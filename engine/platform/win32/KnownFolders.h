// Windows' own folders for the user's files, as UTF-8 paths (empty when
// Windows does not give one).
#pragma once

#include <string>

#include "../../core/Platform.h"  // KvPicturesFolder: here the Pictures known folder

// %LOCALAPPDATA%\Nerith, made if missing (the fall-back place of KVR_ERR.txt).
std::string KvLocalAppDataFolder();
