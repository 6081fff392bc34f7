// The scene timeline: the prelude and the fourteen scenes of the show.
//
// Sections:
//   1. machinery      CurrentScene, Movers, InWindow, Bounce, ShadowText
//   2. scenes 1 - 9   opening text, logo, sky, disc, noise, sprite ball,
//                     fire twins, cone and swarm, discs and name
//   3. scenes 10 - 14 credits, greetings, logo, hold
//   4. runner         the scene table, Prelude, RunScene, RunTimeline (which
//                     also takes the seeks, Seeking.h)
//
// Scene boundaries follow the show clock (InWindow); every movement inside a
// scene is per frame. No scene clears Screen: each frame is drawn over the
// last. The order of the steps in each Settings and Frame routine is the
// show's order of work; Random draws are taken into locals in the order
// written, as the seeded runs depend on it.
//
// Depends on: Show.h (globals, EndFrame), Effects2D.h, show/3d
// (objects, TransformObject, RenderObject), ShowText.h (the words).
#include "Timeline.h"

#include "3d/Mesh.h"
#include "3d/Render.h"
#include "Effects2D.h"
#include "Seeking.h"
#include "Show.h"
#include "ShowText.h"

// ---------------------------------------------------------------------------
// 1. Machinery
// ---------------------------------------------------------------------------

int32_t CurrentScene = 0;
Mover Movers[2];
void (*SceneEndFrame)() = EndFrame;

namespace {

// The one window test. Two separate clock readings, as the window is
// defined: the lower bound is checked against the first, the upper against
// the second. FromClosed: whether a first reading exactly on First counts.
bool WindowHolds(uint32_t First, uint32_t Last, bool FromClosed) {
  const long double From = static_cast<long double>(First) * TimelineStep;
  const long double Now = static_cast<long double>(TimerElapsed(Timer));
  if (!(FromClosed ? From <= Now : From < Now)) return false;
  return static_cast<long double>(TimerElapsed(Timer)) < static_cast<long double>(Last) * TimelineStep;
}

}  // namespace

bool InWindow(uint32_t First, uint32_t Last) { return WindowHolds(First, Last, false); }

void Bounce(uint8_t Index, int32_t Low, int32_t High) {
  Mover& M = Movers[Index & 1];
  M.Value = static_cast<int32_t>(static_cast<uint32_t>(M.Value) + static_cast<uint32_t>(static_cast<int32_t>(M.Step)));
  if (M.Value < Low || M.Value > High) M.Step = static_cast<int16_t>(-M.Step);
}

void ShadowText(int32_t X, int32_t Y, const std::string& Text, uint32_t Colour) {
  Screen->TextOut(X - 1, Y - 1, Text, Colour >> 10);
  Screen->TextOut(X + 2, Y + 2, Text, PackColor(125, 125, 125));
  Screen->TextOut(X, Y, Text, Colour);
}

namespace {

// Movers[i].Value := Value + Step, wrapping like the 32-bit arithmetic.
void Advance(int Index) {
  Mover& M = Movers[Index];
  M.Value = static_cast<int32_t>(static_cast<uint32_t>(M.Value) + static_cast<uint32_t>(static_cast<int32_t>(M.Step)));
}

void SetMover(int Index, int32_t Value, int16_t Step) {
  Movers[Index].Value = Value;
  Movers[Index].Step = Step;
}

// draw O: one more turn by its spins, then its faces.
void Draw(ObjRec& Obj) {
  TransformObject(Obj);
  RenderObject(Obj);
}

void Place(ObjRec& Obj, int32_t X, int32_t Y, int32_t Z) {
  Obj.X = X;
  Obj.Y = Y;
  Obj.Z = Z;
}

void Spin(ObjRec& Obj, int32_t X, int32_t Y, int32_t Z) {
  Obj.SpinX = X;
  Obj.SpinY = Y;
  Obj.SpinZ = Z;
}

void StarfieldStep() { Starfield(Screen, 0, 0, DisplayWidth, DisplayHeight, 200, 1, 2, 2); }

// The frame added onto itself one row higher (a flash); trails back on.
void Flash() {
  Screen->DrawAdd(Screen, 0, -1);
  TrailsOn = true;
}

// One random curve of scenes 8 and 9: end points anywhere on the screen,
// control points in the top-left corner; red range differs per scene.
void RandomCurve(int32_t RedRange) {
  const int32_t X0 = Random(640);
  const int32_t Y0 = Random(480);
  const int32_t X3 = Random(640);
  const int32_t Y3 = Random(480);
  const int32_t X1 = Random(125);
  const int32_t Y1 = Random(125);
  const int32_t X2 = Random(125);
  const int32_t Y2 = Random(125);
  const int32_t R = Random(RedRange);
  const int32_t G = Random(125);
  const int32_t B = Random(255);
  Screen->Bezier(X0, Y0, X3, Y3, X1, Y1, X2, Y2, 5,
                 PackColor(static_cast<uint8_t>(R), static_cast<uint8_t>(G), static_cast<uint8_t>(B)));
}

// ---------------------------------------------------------------------------
// 2. Scenes 1 - 9
// ---------------------------------------------------------------------------

// Scene 1: the opening text rises over the starfield.
void Scene1Settings() {}
void Scene1Frame() {
  const uint32_t Colour = PackColor(255, 175, 132);
  for (const ShowTextLine& Line : OpeningLines) ShadowText(Line.X, Movers[0].Value + Line.Offset, Line.Text, Colour);
  // Catch-up step below 14 frames per second on average. A clock that has
  // not moved yet says nothing about the rate, so it gives no extra step.
  const float Elapsed = TimerElapsed(Timer);
  if (Elapsed > 0.0f && static_cast<long double>(FrameCount) / static_cast<long double>(Elapsed) < 14.0L) Advance(0);
  Advance(0);
  StarfieldStep();
  SceneEndFrame();
}

// Scene 2: the logo zooms in while turning once.
void Scene2Settings() { SetMover(0, 0, 2); }
void Scene2Frame() {
  StarfieldStep();
  if (Movers[0].Value < 180) Advance(0);
  const int32_t V = Movers[0].Value;
  const float Scale = static_cast<float>(static_cast<double>(V) / 180.0);
  const float Angle = static_cast<float>(static_cast<double>(V) * 2.0);
  LogoPic->RotoZoom(Screen, DisplayWidth / 2, DisplayHeight / 2, Scale, Angle, 0);
  SceneEndFrame();
}

// Scene 3: ObjSky mirrors the frame buffer under the logo; the gradient
// fades in; a flash at the end.
void Scene3Settings() {
  ObjSky.Texture = Screen;
  TrailsOn = false;
  Movers[1].Value = 0;
}
void Scene3Frame() {
  Draw(ObjSky);
  StarfieldStep();
  LogoPic->DrawKeyed(Screen, 0, DisplayHeight / 2 - 40, 0);
  if (InWindow(57, 65) && Movers[1].Value < 255) {
    Movers[1].Value += 2;
    GradientPic->DrawAlpha(Screen, 0, 0, AlphaOf(Movers[1].Value));
  }
  if (InWindow(65, 66)) Flash();
  SceneEndFrame();
}

// Scene 4: the flat-shaded disc in front of the sky.
void Scene4Settings() {
  Place(ObjCropCir, 0, 0, -160);
  ObjCropCir.Mode = ModeFlat;
  Spin(ObjCropCir, 4, 2, -4);
  TrailsOn = true;
}
void Scene4Frame() {
  if (InWindow(66, 70)) ObjCropCir.Z += 1;
  Draw(ObjSky);
  Draw(ObjCropCir);
  if (InWindow(78, 82)) ObjCropCir.Z += 2;
  if (InWindow(80, 82)) Flash();
  SceneEndFrame();
}

// Scene 5: coloured pixel noise.
void Scene5Settings() {}
void Scene5Frame() {
  for (int i = 0; i < 50; ++i) {
    const int32_t X = Random(DisplayWidth);
    const int32_t Y = Random(DisplayHeight);
    const int32_t R = 255 - Random(50);
    const int32_t G = 125 + Random(50);
    const int32_t B = 125 - Random(50);
    Screen->PutPixel(X, Y, PackColor(static_cast<uint8_t>(R), static_cast<uint8_t>(G), static_cast<uint8_t>(B)));
  }
  SceneEndFrame();
}

// Scene 6: the ball of sprites over the pulsing backdrop. The fade and the
// backdrop come after EndFrame: the blend starts the next frame's picture.
void Scene6Settings() {
  Place(ObjSphere, 0, 0, -50);
  ObjSphere.Mode = ModeSprites;
  Spin(ObjSphere, -4, -2, -4);
  ObjSphere.Texture = BallPic;
  TrailsOn = true;
  SetMover(1, 0, 1);
}
void Scene6Frame() {
  Draw(ObjSphere);
  SceneEndFrame();
  Bounce(1, 0, 255);
  BackdropPic->DrawAlpha(Screen, 0, 0, AlphaOf(Movers[1].Value));
}

// Scene 7: two fire-mapped copies of one mesh fly in; the sprite ball leaves.
void Scene7Settings() {
  ObjCrv.Mode = ModeEnvMap;
  ObjCrv.Z = -600;
  ObjCrv.Texture = FirePic;
  TrailsOn = true;
  CullBackFaces = true;
  RotateNormals = true;
}
void Scene7Frame() {
  Bounce(1, 0, 255);
  BackdropPic->DrawAlpha(Screen, 0, 0, AlphaOf(Movers[1].Value));
  if (InWindow(95, 100)) {
    ObjSphere.X -= 1;
    ObjSphere.Y -= 1;
    ObjSphere.Z -= 1;
    Draw(ObjSphere);
  }
  Spin(ObjCrv, -3, -1, 2);
  ObjCrv.X = -150;
  ObjCrv.Y = 20;
  if (InWindow(95, 100)) ObjCrv.Z += 3;
  else ObjCrv.Z = -220;
  Draw(ObjCrv);
  Spin(ObjCrv, 0, 2, 2);
  ObjCrv.X = 50;
  ObjCrv.Y = 10;
  if (InWindow(95, 100)) ObjCrv.Z += 2;
  else ObjCrv.Z = -50;
  Draw(ObjCrv);
  SceneEndFrame();
}

// Scene 8: the cone mirrors the frame buffer; random curves; star swarm.
void Scene8Settings() {
  Place(ObjCone, 0, 0, 84);
  TrailsOn = true;
  CullBackFaces = true;
  RotateNormals = true;
  Spin(ObjCone, 0, 0, 2);
  ObjCone.Mode = ModeEnvMapWide;
  ObjCone.Texture = Screen;
  InitSwarm();
}
void Scene8Frame() {
  if (InWindow(120, 135)) RandomCurve(125);
  Draw(ObjCone);
  if (InWindow(119, 120)) InitSwarm();
  if (InWindow(125, 126)) InitSwarm();
  DrawSwarm();
  SceneEndFrame();
}
void Scene8After() { Screen->Blur(); }

// Scene 9: as 8, plus the disc drawn twice and the group's name.
void Scene9Settings() {
  Place(ObjCropCir, 0, 0, 0);
  ObjCropCir.Mode = ModeFlat;
  Spin(ObjCropCir, 4, 0, -4);
  ObjCropCir.Texture = Screen;
  CullBackFaces = false;
  Place(ObjTW, 0, 70, -200);
  ObjTW.Mode = ModeFlat;
  Spin(ObjTW, 40, 4, 0);
  ObjTW.Texture = LogoPic;
  // One turn without drawing: a fixed tilt of 40 steps about x, 4 about y.
  TransformObject(ObjTW);
  ObjTW.SpinX = 0;
}
void Scene9Frame() {
  if (InWindow(145, 155)) RandomCurve(225);
  Draw(ObjCone);
  if (InWindow(140, 141)) InitSwarm();
  if (InWindow(145, 146)) InitSwarm();
  if (InWindow(150, 151)) InitSwarm();
  DrawSwarm();
  if (InWindow(145, 155)) {
    Place(ObjCropCir, -50, 0, -20);
    Draw(ObjCropCir);
  }
  if (InWindow(147, 155)) {
    Place(ObjCropCir, 50, 0, -20);
    Draw(ObjCropCir);
  }
  if (InWindow(150, 155)) {
    ObjTW.Z += 1;
    Draw(ObjTW);
  }
  SceneEndFrame();
}

// ---------------------------------------------------------------------------
// 3. Scenes 10 - 14
// ---------------------------------------------------------------------------

struct TimedPicture {
  uint32_t First, Last;
  TBufferKv** Picture;
  int32_t X, Y;
};
struct TimedText {
  uint32_t First, Last;
  int32_t X, Y;
  const char* Text;
  uint8_t R, G, B;
  bool Shadow;  // ShadowText instead of a plain TextOut
};

void DrawTimedText(const TimedText& T) {
  if (!InWindow(T.First, T.Last)) return;
  if (T.Shadow)
    ShadowText(T.X, T.Y, T.Text, PackColor(T.R, T.G, T.B));
  else
    Screen->TextOut(T.X, T.Y, T.Text, PackColor(T.R, T.G, T.B));
}

// Scene 10: credits, first page.
void Scene10Settings() {
  ObjTW.Z = -100;
  Place(ObjCropCir, 50, 25, -50);
  ObjCropCir.Mode = ModeEnvMap;
  ObjCropCir.Texture = FirePic;
  SetMover(0, 0, 1);
}
void Scene10Frame() {
  static const TimedPicture Pictures[3] = {
      {159, 170, &CodePic, 50, 100},
      {161, 172, &MusicPic, 50, 175},
      {163, 174, &GfxPic, 50, 250},
  };
  static const TimedText Texts[8] = {
      {160, 171, 100, 130, "Tarnwick", 127, 127, 127, false},
      {162, 173, 100, 210, "Tarnwick", 127, 127, 127, false},
      {164, 175, 100, 285, "Tarnwick", 127, 127, 127, false},
      {175, 181, 50, 100, "Credits:", 127, 127, 127, true},
      {177, 182, 50, 175, LogoContributor, 120, 127, 127, false},
      {178, 183, 90, 210, "(for the bottom 3d logo)", 127, 127, 120, false},
      {179, 184, 50, 250, CodeContributor, 120, 127, 127, false},
      {180, 185, 90, 285, "(3d ripped bug code)", 127, 127, 120, false},
  };

  // The water takes the level of the previous frame: the level is raised
  // after the water and before the title.
  WaterPic->DrawAlphaKeyed(Screen, 0, 0, AlphaOf(Movers[0].Value), 0);
  if (InWindow(155, 157)) Draw(ObjCone);
  Draw(ObjCropCir);
  if (Movers[0].Value < 255) Bounce(0, 0, 255);
  TitlePic->DrawAlphaKeyed(Screen, 320 - TitlePic->HalfWidth, 30, AlphaOf(Movers[0].Value), 0);
  if (Random(8) == 1) TitlePic->DrawAdd(Screen, 320 - TitlePic->HalfWidth, 30);

  for (const TimedPicture& P : Pictures)
    if (InWindow(P.First, P.Last)) (*P.Picture)->DrawKeyed(Screen, P.X, P.Y, 0);
  for (const TimedText& T : Texts) DrawTimedText(T);

  Draw(ObjTW);
  SceneEndFrame();
}

// Scene 11: credits, second page.
void Scene11Settings() { SetMover(0, 0, 1); }
void Scene11Frame() {
  static const TimedText Labels[9] = {
      {190, 200, 30, 215, "code /", 127, 127, 127, false},   {191, 201, 120, 215, "2d", 128, 127, 127, false},
      {192, 202, 30, 290, "music /", 129, 127, 127, false},  {193, 203, 130, 290, "code /", 130, 127, 127, false},
      {194, 204, 215, 290, "2d / ...", 131, 127, 127, false}, {195, 205, 30, 360, "2d /", 132, 127, 127, false},
      {196, 206, 85, 360, "design", 133, 127, 127, false},   {197, 207, 30, 430, "2d /", 134, 127, 127, false},
      {198, 208, 85, 430, "3d", 135, 127, 127, false},
  };
  if (Movers[0].Value < 255) Bounce(0, 0, 255);
  WaterPic->DrawAlphaKeyed(Screen, 0, 0, AlphaOf(Movers[0].Value), 0);
  if (Random(16) == 1)
    GroupPic->DrawAdd(Screen, 320 - GroupPic->HalfWidth, 43);
  else
    GroupPic->DrawAlphaKeyed(Screen, 320 - GroupPic->HalfWidth, 43, 55, 0);
  if (InWindow(189, 208)) GroupPicM->DrawKeyed(Screen, 20, 180, 0);
  for (const TimedText& L : Labels) DrawTimedText(L);
  Draw(ObjCropCir);
  Draw(ObjTW);
  SceneEndFrame();
}

// Scene 12: the greetings rise two pixels per frame over the water; at the
// end the cone returns and the gradient fades in.
void Scene12Settings() {
  SetMover(0, 460, -2);
  Movers[1].Value = 0;
}
void Scene12Frame() {
  WaterPic->DrawKeyed(Screen, 0, 0, 0);
  Screen->FillRect(10, 210, 260, 480, 0);
  const uint32_t Colour = PackColor(137, 137, 127);
  for (const ShowTextLine& Line : GreetingLines) Screen->TextOut(Line.X, Movers[0].Value + Line.Offset, Line.Text, Colour);
  Advance(0);
  Draw(ObjCropCir);
  Draw(ObjTW);
  if (InWindow(268, 273) && Movers[1].Value < 255) {
    Draw(ObjCone);
    Movers[1].Value += 5;
    GradientPic->DrawAlpha(Screen, 0, 0, AlphaOf(Movers[1].Value));
  }
  SceneEndFrame();
}

// Scene 13: the logo alone.
void Scene13Settings() {}
void Scene13Frame() {
  LogoPic->DrawKeyed(Screen, 0, DisplayHeight / 2 - 40, 0);
  SceneEndFrame();
}

// Scene 14: nothing new is drawn; the trails smear the last image.
void Scene14Settings() {}
void Scene14Frame() { SceneEndFrame(); }

}  // namespace

// ---------------------------------------------------------------------------
// 4. Runner
// ---------------------------------------------------------------------------

const SceneDef Scenes[SceneCount] = {
    {1, SceneSteps[0], SceneSteps[1], Scene1Settings, Scene1Frame, nullptr},
    {2, SceneSteps[1], SceneSteps[2], Scene2Settings, Scene2Frame, nullptr},
    {3, SceneSteps[2], SceneSteps[3], Scene3Settings, Scene3Frame, nullptr},
    {4, SceneSteps[3], SceneSteps[4], Scene4Settings, Scene4Frame, nullptr},
    {5, SceneSteps[4], SceneSteps[5], Scene5Settings, Scene5Frame, nullptr},
    {6, SceneSteps[5], SceneSteps[6], Scene6Settings, Scene6Frame, nullptr},
    {7, SceneSteps[6], SceneSteps[7], Scene7Settings, Scene7Frame, nullptr},
    {8, SceneSteps[7], SceneSteps[8], Scene8Settings, Scene8Frame, Scene8After},
    {9, SceneSteps[8], SceneSteps[9], Scene9Settings, Scene9Frame, nullptr},
    {10, SceneSteps[9], SceneSteps[10], Scene10Settings, Scene10Frame, nullptr},
    {11, SceneSteps[10], SceneSteps[11], Scene11Settings, Scene11Frame, nullptr},
    {12, SceneSteps[11], SceneSteps[12], Scene12Settings, Scene12Frame, nullptr},
    {13, SceneSteps[12], SceneSteps[13], Scene13Settings, Scene13Frame, nullptr},
    {14, SceneSteps[13], SceneSteps[14], Scene14Settings, Scene14Frame, nullptr},
};

void Prelude() {
  CurrentScene = 0;
  SetMover(0, 460, -1);
  StarfieldStep();
  StartMusic();
  Place(ObjSky, 0, 0, 75);
  ObjSky.Mode = ModeEnvMap;
  Spin(ObjSky, 0, 0, 2);
  TrailsOn = true;
}

bool SceneWindowHolds(uint32_t First, uint32_t Last) { return WindowHolds(First, Last, true); }

void RunScene(const SceneDef& Scene) {
  CurrentScene = Scene.Number;
  Scene.Settings();
  while (SceneWindowHolds(Scene.First, Scene.Last)) Scene.Frame();
  if (Scene.After) Scene.After();
}

// The scenes in order, left when a seek is asked for (the frame under way
// still finishes: scene 6 draws after its EndFrame) and taken up again in
// the frame loop of the scene the seek's snapshot was taken in.
void RunTimeline() {
  Prelude();
  int First = 0;
  bool Resume = false;
  for (;;) {
    for (int i = First; i < SceneCount && !SeekPending(); ++i) {
      const SceneDef& Scene = Scenes[i];
      CurrentScene = Scene.Number;
      if (!Resume) Scene.Settings();
      Resume = false;
      while (!SeekPending() && SceneWindowHolds(Scene.First, Scene.Last)) {
        NoteFrameTop(i);
        Scene.Frame();
      }
      if (!SeekPending() && Scene.After) Scene.After();
    }
    if (!SeekPending()) return;
    First = LandSeek();
    if (First < 0) return;
    Resume = true;
  }
}
