// Where the show's pictures, meshes and music (GFX/, ASC/, SND/) are found.
//
// A folder counts as an asset folder when it holds GFX/. The places, in this
// order:
//   1. the current folder             (a build or a folder of one's own)
//   2. the executable's folder        (build/bin, where the generator writes)
//   3. ../share/nerith from the executable's folder (an installed prefix)
// Only paths relative to the executable are used, so an installed prefix
// can be moved anywhere and still plays.
//
// Depends on: engine/core/Errors.h (FatalError, when no place has the assets).
#pragma once

#include <string>
#include <vector>

// The places to look, in order, for an executable in ExeDir.
std::vector<std::string> AssetSearchPlaces(const std::string& ExeDir);

// The asset root for AssetPath: "" for the current folder, else the first
// place that holds GFX/. When none does, ends the program through
// FatalError with a line naming every place it looked.
std::string FindAssetRoot();
