// The music as heard: which frame of the music reaches the listener now.
//
// The mixer notes every block it hands an output (how many frames, and which
// frames of the music it carried); the output notes, at each of its wake-ups,
// which of its frames the listener hears: SDL from what is queued (the block
// just mixed and the device's buffer), waveOut from the stream's position.
// Between those readings a smoothed clock (SmoothClock.h) runs on the
// output's frames; the blocks' record turns its reading into a music frame,
// so a pause, a skip or a ring that ran dry is placed exactly.
//
// Every function may be called from any thread.
//
// Depends on: SmoothClock.h.
#pragma once

#include <cstddef>
#include <cstdint>

// The steady clock in microseconds, as the outputs note their readings.
int64_t KvHeardNowUs();
// A device was opened or closed: every record is forgotten.
void KvHeardReset();
// The mixer: Frames frames went to the output; MusicFrames of them, from the
// start, were the music's frames from MusicStart on (MusicStart < 0: none).
void KvHeardBlock(size_t Frames, int64_t MusicStart, size_t MusicFrames);
// The output: at NowUs the listener hears its frame HeardFrame (counted from
// the first block since KvHeardReset); the next reading comes at most Ahead
// frames later.
void KvHeardAt(int64_t NowUs, int64_t HeardFrame, size_t Ahead);
// The same for an output that knows only how many of the frames given to it
// are still queued ahead of the listener.
void KvHeardQueued(int64_t NowUs, size_t QueuedFrames, size_t Ahead);
// The music frame heard at NowUs, smoothed and never stepping back. False
// when the listener hears no music now (stopped, ended, a ring run dry for a
// whole block, not started yet) or the output has said nothing for a second.
bool KvHeardMusicFrame(int64_t NowUs, double& Frame);
