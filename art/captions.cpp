#include "art/captions.h"

const std::int32_t caption1[captionHeight * caption1Width] = {};
const std::int32_t caption2[captionHeight * caption2Width] = {};
const std::int32_t caption3[captionHeight * caption3Width] = {};
const std::int32_t caption4[captionHeight * caption4Width] = {};
const std::int32_t caption5[captionHeight * caption5Width] = {};
const std::int32_t captionGlyphs[2] = {0, 219};
const std::int32_t captionColors[2] = {0, 15};

void drawCaptions() {}
