// The show's text lines: the opening text of scene 1, the names of the
// credits and the greetings list of scene 12. Positions, colours and timing
// live with the scenes in Timeline.cpp; this is only the words.
#pragma once

#include <cstdint>

struct ShowTextLine {
  int32_t X;       // left edge
  int32_t Offset;  // added to the scroll position Movers[0].Value
  const char* Text;
};

// Scene 1: seven lines, drawn with ShadowText in this order.
constexpr ShowTextLine OpeningLines[7] = {
    {180, 0, "At the year of 2001 ..."},
    {160, 80, "... for the demo party: ..."},
    {175, 160, "... Vastiel aka VST01 ..."},
    {40, 240, "... a new era for the Orlan scene ..."},
    {80, 310, "... a demo come and open all minds ..."},
    {150, 400, "... Corvel presents Nerith ..."},
    {280, 480, "... ..."},
};

// Scene 10: the two contributors credited under "Credits:".
constexpr const char* LogoContributor = "Mirela Sund";
constexpr const char* CodeContributor = "Ostrin";

// Scene 12: thirty-four lines at x 30, in this order (offset 660 stays empty).
constexpr ShowTextLine GreetingLines[34] = {
    {30, 0, "Special Thanks:"},
    {30, 20, "(no special order)"},
    {30, 60, "#corvel"},
    {30, 90, "#vastiel"},
    {30, 120, "#saltmarsh"},
    {30, 150, "#pixelharbour"},
    {30, 180, "#orlanscene"},
    {30, 210, "#tracklab"},
    {30, 240, "... ..."},
    {30, 270, "Brannoch"},
    {30, 300, "Quillet"},
    {30, 330, "Moravane"},
    {30, 360, "Sethrin"},
    {30, 390, "Kalvo"},
    {30, 420, "Dunmere"},
    {30, 450, "Iskra Vell"},
    {30, 480, "Pallow"},
    {30, 510, "Tovenna"},
    {30, 540, "Greyling"},
    {30, 570, "Tarnwick"},
    {30, 600, "Harrowdane"},
    {30, 630, "Ulmsted"},
    {30, 690, "Fenwisp"},
    {30, 720, "Corrage"},
    {30, 750, "Yelloch"},
    {30, 780, "Marrowind"},
    {30, 810, "Ostwen"},
    {30, 840, "Liraquin"},
    {30, 870, "Skellan"},
    {30, 900, "Any one I forgot"},
    {30, 930, "to mention"},
    {30, 960, "... ..."},
    {30, 990, "Everyone at Vastiel"},
    {30, 1020, "and   Y O U"},
};
