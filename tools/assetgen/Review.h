// Review pictures: not used by the show, written so that a person can judge
// the assets at a glance (a contact sheet of the pictures, a flat-shaded
// preview of each mesh, and mock-ups of a few screens of the show).
#pragma once

#include <string>
#include <vector>

#include "Image.h"
#include "Meshes.h"

namespace assetgen {

struct NamedPicture {
  std::string Name;  // as the show opens it, e.g. "GFX/ball.png"
  Image8 Pic;
};

// All pictures at their own sizes on one sheet, each labelled.
Image8 ContactSheet(const std::vector<NamedPicture>& Pictures);
// Left: the mesh as the show first sees it (its position, the show's
// projection, flat shading in the show's colours); right: a three-quarter view.
Image8 MeshPreview(const Mesh& M);
// Screens of the show put together from the pictures: the close (logo on the
// gradient), both credits pages and the backdrop with sprites.
std::vector<NamedPicture> MockUps(const std::vector<NamedPicture>& Pictures);

}  // namespace assetgen

namespace assetgen {
// A spectrogram of the tune (log frequency, 20 Hz .. 16 kHz, one column per
// 0.2 s) with the scene boundaries marked and the loudness drawn under it.
Image8 Spectrogram(const std::vector<float>& Interleaved, const std::vector<int>& MarkSteps);
// A table of loudness, peak and balance of each section between the steps.
std::string MusicLevels(const std::vector<float>& Interleaved, const std::vector<int>& Steps);
}  // namespace assetgen
