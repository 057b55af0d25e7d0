// The editing commands: set tags in a file, strip a file's metadata.
#pragma once

namespace orvel_cli {

// orvel set FILE NAME=VALUE... [--gps LAT,LON,ALT] [--artist|--software|--datetime TEXT]
//           [-o OUT]
int runSet(int argc, char** argv);

// orvel strip IN (-o OUT | --in-place)
// orvel strip [-r] [-j N] [-@ LIST|-] IN... (--in-place | --out OUTDIR)
int runStrip(int argc, char** argv);

}  // namespace orvel_cli
