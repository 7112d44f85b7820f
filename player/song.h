// From a song to a timeline: the tempo and first downbeat found in a music file (the timeline
// library's detector fed the decoded sound), and the text of a new timeline for it.
#pragma once

#include <string>
#include <vector>

#include "player/options.h"
#include "timeline/tempo_detect.h"

namespace kandu {

// Decodes `music` (anything FFmpeg reads) and runs the detector on its mono mix; false with the
// reason when the file does not decode (a music without a steady beat is a true with !steady).
// `mono12k`, when given, gets the music's mono mix at 12 kHz (for the first cut's sections).
bool findTempo(const std::string &music, TempoEstimate &estimate, std::string &error,
               std::vector<float> *mono12k = nullptr);
// How a timeline at `timelinePath` names `musicPath`: its bare name when both lie in one
// directory, else the music's absolute path.
std::string musicNameFrom(const std::string &timelinePath, const std::string &musicPath);

// kandu-player tempo MUSIC and kandu-player new MUSIC [--out TIMELINE]: their exit statuses.
int runTempo(const Options &options);
int runNew(const Options &options);

}  // namespace kandu
