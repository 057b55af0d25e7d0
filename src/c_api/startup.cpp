// Start-up and teardown of the library's process-wide state.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "c_api/registry.h"
#include "c_api/signals.h"
#include "color/spaces.h"
#include "palette/quantize.h"
#include "orvel.h"

namespace {

// Builds every table the library needs before the first call; the handle lock is a
// constant-initialised mutex and needs no work here. The colour spaces and quantisers are
// registered on first use and closed to further registration here.
void initialiseGlobals() {
  orvel::capi::installSignalHandlers();
  orvel::color::sealSpaces();
  orvel::palette::sealQuantizeAlgos();
}

void initialiseOrDie() noexcept {
  try {
    initialiseGlobals();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    std::exit(1);
  } catch (...) {
    std::fprintf(stderr, "start-up failed\n");
    std::exit(1);
  }
}

}  // namespace

extern "C" {

ORVEL_API void ov_exif_init(void) noexcept { initialiseOrDie(); }

ORVEL_API void VelMain(void) noexcept { initialiseOrDie(); }

ORVEL_API void VelDestroyGlobals(void) noexcept { orvel::capi::clearRegistry(); }

}  // extern "C"
