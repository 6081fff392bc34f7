// Snapshots of everything a frame of the show depends on, so that a seek
// can go back to any point the virtual clock has passed and draw on from
// there exactly as an uninterrupted offline run does.
//
// A snapshot is taken at the top of a scene's frame loop, after the loop's
// window test and before the frame (the scene's Settings, and the After of
// the scene before, are behind it). It holds: Screen's pixels, the frame
// count, the trails, the random generator, the scene and its movers, the
// starfield and the swarm, the culling and normal switches, and every 3D
// object (position, spins, mode, texture and its turned vertices and
// normals). Pictures, meshes' faces, the sine tables and the light never
// change after loading, and what TransformObject makes anew each frame
// (projection, face light, depth order) is read only after it: neither is
// copied.
//
// Snapshots are kept every SnapshotSpacingMs of show time, from the show's
// first frame on; SnapshotBytes says what they take.
//
// Depends on: Show.h, Timeline.h, Effects2D.h, 3d/Mesh.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Show time between two snapshots. A 32-bit snapshot takes about 1.5 MB
// (the frame 1.2 MB, the turned meshes 0.3 MB); for the whole show (258 s)
// they were measured at 92.9 MiB natively (budget 128 MB) and 52.9 MiB in
// the browser (budget 64 MB), bench/README.md. A seek then draws at most
// 100 frames natively (about 2 ms each in the heaviest scenes: under
// 300 ms) and 175 in the browser (under 1 s).
#ifdef __EMSCRIPTEN__
constexpr uint32_t SnapshotSpacingMs = 7000;
#else
constexpr uint32_t SnapshotSpacingMs = 4000;
#endif

// At the top of scene SceneIndex's frame loop on the virtual clock, with
// the next frame drawn at ShowMs: keeps a snapshot when ShowMs is the first
// frame time at or past a multiple of the spacing that has none yet.
void KeepSnapshotIfDue(int SceneIndex, uint32_t ShowMs);
// The latest snapshot at or before ShowMs: puts its state back and returns
// its scene index, with *SnapshotMs its show time. -1 when there is none.
int RestoreSnapshotBefore(uint32_t ShowMs, uint32_t* SnapshotMs);
// The latest show time a snapshot covers (0: none yet).
uint32_t FurthestSnapshotMs();
// Memory the kept snapshots take, in bytes.
size_t SnapshotBytes();
size_t SnapshotCount();
// Drops them all (a new run, tests).
void ForgetSnapshots();
