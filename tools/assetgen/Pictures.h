// The pictures of the show: Make<Name>() for each Picture row of
// show/AssetTable.h. Each maker is deterministic and returns the finished
// 8-bit picture at the size the show expects.
//
//   Lettering.cpp   shaded lettering (chrome, bevel, outline, glow) and the
//                   text pictures: logo, title, credit labels, group logo and
//                   member handles
//   Paintings.cpp   the full-screen pictures, fire, ball and star sprites
#pragma once

#include <string>

#include "Image.h"

namespace assetgen {

// GFX/nerith.png, 640 x 80: the show's name, icy chrome with a glow, on black.
Image8 MakeLogoPic();
// The logo's icy chrome lettering (bevel, outline, glow, light streak and a
// twinkle) for Text centred in a W x H float picture on black, capitals
// CapHeight rows high: what the desktop icons are drawn from.
Image LogoLettering(const std::string& Text, int W, int H, float CapHeight);
// GFX/tw_nr.png, 480 x 64: the title line of the first credits page.
Image8 MakeTitlePic();
// GFX/code.png, GFX/gfx.png, GFX/music.png, 200 x 28: credit labels.
Image8 MakeCodePic();
Image8 MakeGfxPic();
Image8 MakeMusicPic();
// GFX/corvel.png, 500 x 120: the group's logo.
Image8 MakeGroupPic();
// GFX/corvel_M.png, 600 x 280: the members' handles, one above each role row.
Image8 MakeGroupPicM();

// GFX/gradiente.png, 640 x 480: dusk gradient, dithered.
Image8 MakeGradientPic();
// GFX/ball.png, 20 x 20: additive glow sprite.
Image8 MakeBallPic();
// GFX/fire11.jpg, 256 x 256: hot plasma environment map.
Image8 MakeFirePic();
// GFX/mp056.jpg, 640 x 480: nebula backdrop.
Image8 MakeBackdropPic();
// GFX/star.bmp, 32 x 32: four-pointed star glow.
Image8 MakeStarPic();
// GFX/water.jpg, 640 x 480: water caustics.
Image8 MakeWaterPic();

// Layout of the member picture, shared with the review mock-ups: picture rows
// where the show writes its role labels (the picture is drawn at y 180, the
// labels at y 215, 290, 360 and 430), which must stay transparent.
constexpr int kMembersRoleRows[4] = {35, 110, 180, 250};
constexpr int kMembersRoleHeight = 30;

}  // namespace assetgen
