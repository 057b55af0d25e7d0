// orvel palette IN [-n N] [--algo NAME] [--space NAME] [--seed S] [--json] [--swatch OUT.png]
#pragma once

namespace orvel_cli {

int runPalette(int argc, char** argv);

}  // namespace orvel_cli
