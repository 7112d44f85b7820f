// What the module's parts share: the timeline the page plays (play.cpp), replaced when the editor's
// document (document.cpp) is edited, and the document's timeline the editor's rules (rules.cpp)
// draw the grid from.
#pragma once

#include <string>

#include "timeline/timeline.h"

namespace kandu {

// The intro plays `timeline` from the next frame on.
void playTimeline(const Timeline &timeline);
// What kandu_web_error() says next.
void setPageError(const std::string &error);
// The editor's document as it stands (empty before one is opened).
const Timeline &documentTimeline();

}  // namespace kandu
