// The record behind an image handle: one image, never changed once registered.
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
