// What the web host (host.cpp) shares with the editor's document functions (editor_api.cpp): the
// timeline the page plays, replaced when the document is edited.
#pragma once

#include <string>

#include "timeline/timeline.h"

namespace kandu {

const Timeline &pageTimeline();
// The intro plays `timeline` from the next frame on.
void playTimeline(const Timeline &timeline);
// What kandu_web_error() says next.
void setPageError(const std::string &error);

}  // namespace kandu
