// The record behind an image handle: one image, whose pixels only ov_image_composite_over
// changes once it is registered.
#pragma once

#include "c_api/registry.h"
#include "image/image.h"

namespace orvel::capi {

class ImageRecord : public HandleRecord {
 public:
  static constexpr HandleKind kind = HandleKind::image;

  image::Image image;
};

}  // namespace orvel::capi
