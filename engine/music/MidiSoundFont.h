// Where the General MIDI soundfont for MIDI playback comes from.
//
// MIDI files carry notes, not sound: FluidSynth needs a soundfont with the
// 128 General MIDI instruments. The standard places of Debian's soundfont
// packages (fluid-soundfont-gm, timgm6mb-soundfont, musescore-general-
// soundfont) and of the freedesktop soundfont folders are searched, in order.
//
// Depends on: libfluidsynth (its own default soundfont setting).
#pragma once

#include <string>
#include <vector>

// The places looked at, most preferred first.
std::vector<std::string> KvSoundFontCandidates();
// The first candidate that is a readable regular file; empty when none is.
std::string KvFindSoundFont(const std::vector<std::string>& Candidates);
// The one-line reason given when no soundfont is found: what is missing,
// where it was looked for and which package brings it.
std::string KvMissingSoundFontText();

// Tests: replaces the candidate list (an empty list restores the standard one).
void KvSetSoundFontCandidatesForTest(std::vector<std::string> Candidates);

