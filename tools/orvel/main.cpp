// orvel: the command-line face of libOrvel. Uses only the public C interface.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli.h"
#include "cmd_edit.h"
#include "cmd_palette.h"
#include "orvel.h"

namespace {

constexpr const char* kUsage =
    "usage: orvel COMMAND [ARGS...]\n"
    "\n"
    "commands:\n"
    "  meta [--jsonl] [-r] [-j N] [-@ LIST|-] FILE...\n"
    "                 print the metadata of each file as JSON (several files: an array;\n"
    "                 --jsonl: one compact object per line, with a \"file\" member, or an\n"
    "                 \"error\" member for a file that cannot be read). -r walks directories\n"
    "                 (links to directories are not followed, special files are skipped),\n"
    "                 -j runs N threads (default: one per core), -@ reads paths from LIST\n"
    "                 (- for standard input), one per line. Output keeps the input order;\n"
    "                 exit status 2 when any file failed, with a summary on standard error\n"
    "  tags FILE      print every tag as NAME<TAB>VALUE, one per line, sorted by name\n"
    "                 (backslash, tab, CR and LF inside them written as \\\\ \\t \\r \\n)\n"
    "  get FILE NAME  print the value of one tag; exit status 1 when it is absent\n"
    "  set FILE NAME=VALUE... [--gps LAT,LON,ALT] [--artist|--software|--datetime TEXT]\n"
    "      [-o OUT]   change EXIF tags (in place unless -o); unknown names list the editable ones\n"
    "  strip IN (-o OUT | --in-place)\n"
    "  strip [-r] [-j N] [-@ LIST|-] IN... (--in-place | --out OUTDIR)\n"
    "                 remove EXIF, XMP, IPTC and comments, leaving the pixels untouched;\n"
    "                 over many files in place, or mirroring the tree under OUTDIR\n"
    "  info [--json] FILE...\n"
    "                 decode each image and print its format, size, channels and layout\n"
    "  convert IN OUT [--format F] [--quality N]\n"
    "                 decode IN and write it in the format OUT's extension (or F) names:\n"
    "                 png, jpg/jpeg (--quality, default 90), bmp, qoi, pnm/ppm/pgm/pam, tga;\n"
    "                 .tga input is read as TGA\n"
    "  thumb IN OUT [--format F] [--quality N]\n"
    "                 write the thumbnail embedded in IN's EXIF as OUT (format as for\n"
    "                 convert); exit status 1 when IN has none\n"
    "  palette IN [-n 8] [--algo NAME] [--space NAME] [--seed S] [--json] [--swatch OUT.png]\n"
    "                 the image's colours: sRGB hex and work-space components per line\n"
    "  resize IN OUT (--width W | --height H | --fit WxH) [--filter box|bilinear|nearest]\n"
    "                 resample (one side given: the other keeps the aspect ratio; default\n"
    "                 filter box when shrinking, bilinear when enlarging)\n"
    "  rotate IN OUT (--cw90 | --180 | --ccw90 | --flip-h | --flip-v)\n"
    "  crop IN OUT X,Y,W,H\n"
    "  orient IN OUT  turn the image upright by its EXIF orientation\n"
    "  thumbnail IN OUT --fit WxH [--quality 85]\n"
    "                 orient upright, shrink to fit the box (box filter), encode OUT\n"
    "  thumbnail [-r] [-j N] [-@ LIST|-] IN... --out OUTDIR --fit WxH [--quality 85]\n"
    "      [--format jpg]\n"
    "                 the same over many files, mirroring the tree under OUTDIR (each\n"
    "                 file's extension becomes the format's: .jpg unless --format)\n"
    "  version        print the library version and ABI numbers\n"
    "  help, --help   print this text\n";

int printVersion() {
  std::printf("orvel %s (exif ABI %d, image ABI %d)\n", ov_version(),
              static_cast<int>(ov_exif_abi_version()), static_cast<int>(ov_image_abi_version()));
  return 0;
}

// Output that could not be written (a full disk, a closed pipe) is a failure, not success.
int finish(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fputs("orvel: error writing the output\n", stderr);
    return orvel_cli::kUsageError;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  ov_exif_init();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return orvel_cli::kUsageError;
  }
  std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "version" || command == "--version") return printVersion();
  if (command == "meta") return finish(orvel_cli::runMeta(argc - 2, argv + 2));
  if (command == "tags") return finish(orvel_cli::runTags(argc - 2, argv + 2));
  if (command == "get") return finish(orvel_cli::runGet(argc - 2, argv + 2));
  if (command == "set") return finish(orvel_cli::runSet(argc - 2, argv + 2));
  if (command == "strip") return finish(orvel_cli::runStrip(argc - 2, argv + 2));
  if (command == "info") return finish(orvel_cli::runInfo(argc - 2, argv + 2));
  if (command == "convert") return finish(orvel_cli::runConvert(argc - 2, argv + 2));
  if (command == "thumb") return finish(orvel_cli::runThumb(argc - 2, argv + 2));
  if (command == "palette") return finish(orvel_cli::runPalette(argc - 2, argv + 2));
  if (command == "resize") return finish(orvel_cli::runResize(argc - 2, argv + 2));
  if (command == "rotate") return finish(orvel_cli::runRotate(argc - 2, argv + 2));
  if (command == "crop") return finish(orvel_cli::runCrop(argc - 2, argv + 2));
  if (command == "orient") return finish(orvel_cli::runOrient(argc - 2, argv + 2));
  if (command == "thumbnail") return finish(orvel_cli::runThumbnail(argc - 2, argv + 2));
  std::fprintf(stderr, "orvel: unknown command '%s'\n\n%s", argv[1], kUsage);
  return orvel_cli::kUsageError;
}
