// The show's assets, one row each: the name of the global that holds it,
// its file under the asset folder, and its kind. Every list of assets is
// made from these rows: the globals and loaders of the show (Show.h,
// Pictures.cpp, 3d/Mesh.h, 3d/Mesh.cpp, Main.cpp), the generator
// (tools/assetgen/Main.cpp, which writes Picture and Mesh rows with
// Make<Name>()), the build's list of generated files (tools/CMakeLists.txt
// reads the rows as text: keep one row a line) and the tests.
//
// A reader defines the kinds it wants, NERITH_ASSET_Picture, NERITH_ASSET_Mesh
// or NERITH_ASSET_Music (Name, File), then includes this file, which expands
// the rows of those kinds, skips the others and undefines all three. A file's
// ending chooses its format (.png, .jpg, .bmp, .asc, .mp3). Rows are in load
// order.
//
// No include guard: each reader includes it where it expands the rows.
#ifndef NERITH_ASSET_Picture
#define NERITH_ASSET_Picture(Name, File)
#endif
#ifndef NERITH_ASSET_Mesh
#define NERITH_ASSET_Mesh(Name, File)
#endif
#ifndef NERITH_ASSET_Music
#define NERITH_ASSET_Music(Name, File)
#endif
#define NERITH_ASSET(Name, File, Kind) NERITH_ASSET_##Kind(Name, File)

NERITH_ASSET(LogoPic, "GFX/nerith.png", Picture)
NERITH_ASSET(GradientPic, "GFX/gradiente.png", Picture)
NERITH_ASSET(BallPic, "GFX/ball.png", Picture)
NERITH_ASSET(FirePic, "GFX/fire11.jpg", Picture)
NERITH_ASSET(BackdropPic, "GFX/mp056.jpg", Picture)
NERITH_ASSET(StarPic, "GFX/star.bmp", Picture)
NERITH_ASSET(WaterPic, "GFX/water.jpg", Picture)
NERITH_ASSET(TitlePic, "GFX/tw_nr.png", Picture)
NERITH_ASSET(CodePic, "GFX/code.png", Picture)
NERITH_ASSET(GfxPic, "GFX/gfx.png", Picture)
NERITH_ASSET(MusicPic, "GFX/music.png", Picture)
NERITH_ASSET(GroupPic, "GFX/corvel.png", Picture)
NERITH_ASSET(GroupPicM, "GFX/corvel_M.png", Picture)

NERITH_ASSET(ObjSphere, "ASC/sphere.asc", Mesh)
NERITH_ASSET(ObjSky, "ASC/sky.asc", Mesh)
NERITH_ASSET(ObjCrv, "ASC/Crv.asc", Mesh)
NERITH_ASSET(ObjCone, "ASC/cone.asc", Mesh)
NERITH_ASSET(ObjCropCir, "ASC/CropCir.asc", Mesh)
NERITH_ASSET(ObjTW, "ASC/TW.asc", Mesh)

NERITH_ASSET(ShowMusic, "SND/Nerith.mp3", Music)

#undef NERITH_ASSET
#undef NERITH_ASSET_Picture
#undef NERITH_ASSET_Mesh
#undef NERITH_ASSET_Music
