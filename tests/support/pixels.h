// The pixel probes every picture test uses: how much of a picture is lit, and how far two pictures
// are apart, each with its tolerance.
#pragma once

#include "media/image.h"

// Pixels of [x0, x1) × [y0, y1) with a channel brighter than `threshold` (the clear colour is black).
int litPixels(const kandu::Image &image, int x0, int y0, int x1, int y1, int threshold = 8);
int litPixels(const kandu::Image &image, int threshold = 8);

// Two pictures of one size: the mean difference per channel, and the share of channels off by more
// than `big`. Pictures of different sizes are as far apart as can be (mean 255, share 1).
struct PictureDifference {
  double mean = 0;
  double bigShare = 0;
};
PictureDifference difference(const kandu::Image &a, const kandu::Image &b, int big = 32);
