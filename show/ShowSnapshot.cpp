// The show's state, copied out and put back.
#include "ShowSnapshot.h"

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "3d/Mesh.h"
#include "Effects2D.h"
#include "Options.h"
#include "Show.h"
#include "Timeline.h"

namespace {

template <typename T>
void CopyOut(const TSharedArray<T>& From, std::vector<T>& To) {
  To.assign(From.Elements(), From.Elements() + From.Length());
}
template <typename T>
void CopyIn(const std::vector<T>& From, const TSharedArray<T>& To) {
  // The live arrays are written in place: copies of the record share them.
  if (To.Length() == From.size() && !From.empty()) std::memcpy(To.Elements(), From.data(), From.size() * sizeof(T));
}

// The arrays a frame turns in place. The faces and VertexLight never
// change after loading; the projection, face light and depth order are
// made again by every TransformObject before anything reads them.
struct ObjectState {
  ObjRec Fields;  // scalars; its array handles are not used on restore
  std::vector<VoxelRec> Vertices, VertexNormals;
  std::vector<NormalRec> FaceNormals;

  void Take(const ObjRec& O) {
    CopyOut(O.Vertices, Vertices);
    CopyOut(O.VertexNormals, VertexNormals);
    CopyOut(O.FaceNormals, FaceNormals);
    Fields = ObjRec();
    Fields.X = O.X, Fields.Y = O.Y, Fields.Z = O.Z;
    Fields.Mode = O.Mode;
    Fields.Texture = O.Texture;
    Fields.SpinX = O.SpinX, Fields.SpinY = O.SpinY, Fields.SpinZ = O.SpinZ;
  }
  void Put(ObjRec& O) const {
    O.X = Fields.X, O.Y = Fields.Y, O.Z = Fields.Z;
    O.Mode = Fields.Mode;
    O.Texture = Fields.Texture;
    O.SpinX = Fields.SpinX, O.SpinY = Fields.SpinY, O.SpinZ = Fields.SpinZ;
    CopyIn(Vertices, O.Vertices);
    CopyIn(VertexNormals, O.VertexNormals);
    CopyIn(FaceNormals, O.FaceNormals);
  }
  size_t Bytes() const {
    return sizeof(*this) + Vertices.size() * sizeof(VoxelRec) + VertexNormals.size() * sizeof(VoxelRec) +
           FaceNormals.size() * sizeof(NormalRec);
  }
};

// Every mesh global, in the asset table's order.
ObjRec* const Objects[] = {
#define NERITH_ASSET_Mesh(Name, File) &Name,
#include "AssetTable.h"
};
constexpr size_t ObjectCount = sizeof(Objects) / sizeof(Objects[0]);

struct Snapshot {
  int SceneIndex = 0;
  int32_t Scene = 0;
  std::vector<uint8_t> Pixels;  // Screen's rows, Width x bytes per pixel each
  uint32_t Frames = 0;
  bool Trails = false;
  uint8_t Trail = 0;
  uint32_t RandomState = 0;
  Mover Moving[2];
  StarRec StarState[StarCount + 1];
  SwarmRec SwarmState[SwarmCount];
  bool Cull = false, Rotate = false;
  ObjectState ObjectStates[ObjectCount];

  size_t Bytes() const {
    size_t N = sizeof(*this) + Pixels.size();
    for (const ObjectState& O : ObjectStates) N += O.Bytes() - sizeof(O);
    return N;
  }
};

std::map<uint32_t, std::unique_ptr<Snapshot>> Kept;  // by show time
size_t KeptBytes = 0;

size_t RowBytes() { return size_t(Screen->Width) * Screen->BytesPerPixel; }

}  // namespace

void KeepSnapshotIfDue(int SceneIndex, uint32_t ShowMs) {
  if (!Screen) return;
  const uint32_t Mark = ShowMs / SnapshotSpacingMs * SnapshotSpacingMs;
  // Only the first frame time at or past the mark (frames fall every 40 ms
  // of the virtual clock); the show's first frame is the start.
  if (ShowMs != OfflineFrameMs && ShowMs - Mark >= OfflineFrameMs) return;
  if (Kept.count(ShowMs)) return;
  auto S = std::make_unique<Snapshot>();
  S->SceneIndex = SceneIndex;
  S->Scene = CurrentScene;
  S->Pixels.resize(RowBytes() * size_t(Screen->Height));
  for (int32_t Y = 0; Y < Screen->Height; ++Y)
    std::memcpy(S->Pixels.data() + size_t(Y) * RowBytes(), Screen->Rows[size_t(Y)], RowBytes());
  S->Frames = FrameCount;
  S->Trails = TrailsOn;
  S->Trail = TrailPos;
  S->RandomState = RandomGeneratorState();
  S->Moving[0] = Movers[0];
  S->Moving[1] = Movers[1];
  std::memcpy(S->StarState, Stars, sizeof Stars);
  std::memcpy(S->SwarmState, Swarm, sizeof Swarm);
  S->Cull = CullBackFaces;
  S->Rotate = RotateNormals;
  for (size_t i = 0; i < ObjectCount; ++i) S->ObjectStates[i].Take(*Objects[i]);
  KeptBytes += S->Bytes();
  Kept[ShowMs] = std::move(S);
}

int RestoreSnapshotBefore(uint32_t ShowMs, uint32_t* SnapshotMs) {
  auto It = Kept.upper_bound(ShowMs);
  if (It == Kept.begin() || !Screen) return -1;
  --It;
  const Snapshot& S = *It->second;
  if (S.Pixels.size() != RowBytes() * size_t(Screen->Height)) return -1;
  for (int32_t Y = 0; Y < Screen->Height; ++Y)
    std::memcpy(Screen->Rows[size_t(Y)], S.Pixels.data() + size_t(Y) * RowBytes(), RowBytes());
  CurrentScene = S.Scene;
  FrameCount = S.Frames;
  TrailsOn = S.Trails;
  TrailPos = S.Trail;
  SetRandomGeneratorState(S.RandomState);
  Movers[0] = S.Moving[0];
  Movers[1] = S.Moving[1];
  std::memcpy(Stars, S.StarState, sizeof Stars);
  std::memcpy(Swarm, S.SwarmState, sizeof Swarm);
  CullBackFaces = S.Cull;
  RotateNormals = S.Rotate;
  for (size_t i = 0; i < ObjectCount; ++i) S.ObjectStates[i].Put(*Objects[i]);
  *SnapshotMs = It->first;
  return S.SceneIndex;
}

uint32_t FurthestSnapshotMs() { return Kept.empty() ? 0 : Kept.rbegin()->first; }
size_t SnapshotBytes() { return KeptBytes; }
size_t SnapshotCount() { return Kept.size(); }
void ForgetSnapshots() {
  Kept.clear();
  KeptBytes = 0;
}
