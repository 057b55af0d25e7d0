#!/usr/bin/env bash
# scripts/make-extra-metadata-fixtures.sh: writes tests/fixtures/extra/, files that carry
# metadata outside the usual places (newer EXIF tags, IPTC split over two APP13 segments, PNG
# raw text profiles, extended XMP, XMP in HEIF and movies, QuickTime user-data text, an XMP
# sidecar), and fuzz seeds for them. Next to each file, NAME.args holds exiftool's own reading
# (one "-Group:Tag=value" line per tag) for the tests to compare with.
# Needs: apt-get install libimage-exiftool-perl imagemagick ffmpeg
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/tests/fixtures/extra
mkdir -p "$out" "$root/fuzz/corpus/metadata" "$root/fuzz/corpus/xmp" "$root/fuzz/corpus/isobmff"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 8x8 xc:gray -strip "$work/base.jpg"
reading() { exiftool -args -G1 -sep ", " -a "$@" -EXIF:all -IPTC:all -XMP:all -QuickTime:all; }

# EXIF 2.31/2.32 tags: time zones, host computer, ambient conditions, composite images.
cp "$work/base.jpg" "$out/exif_newer.jpg"
exiftool -q -overwrite_original -EXIF:OffsetTime=+02:00 -EXIF:OffsetTimeOriginal=-05:30 \
  -EXIF:OffsetTimeDigitized=+00:00 -EXIF:HostComputer=Workstation \
  -EXIF:AmbientTemperature=21.5 -EXIF:Humidity=45 -EXIF:Pressure=1013.25 \
  -EXIF:WaterDepth=-3.5 -EXIF:Acceleration=0.125 -EXIF:CameraElevationAngle=-12.75 \
  -EXIF:CompositeImage#=2 -EXIF:CompositeImageCount="3 2" \
  -EXIF:CompositeImageExposureTimes="0.01 0.02 0.5 1 0.004 2 0.125 3 2 0.01 0.02 0.5" \
  "$out/exif_newer.jpg"
reading "$out/exif_newer.jpg" >"$out/exif_newer.args"

# IPTC whose Photoshop resources continue from one APP13 segment into the next.
cp "$work/base.jpg" "$work/iptc.jpg"
exiftool -q -overwrite_original -IPTC:Keywords+=alpha -IPTC:Keywords+=beta -IPTC:City=Paris \
  -IPTC:Caption-Abstract="A caption long enough to be cut in two" "$work/iptc.jpg"
perl -e '
  local $/; my $j = <STDIN>; my $p = 2;
  while (substr($j, $p, 2) ne "\xFF\xED") { $p += 2 + unpack("n", substr($j, $p + 2, 2)); }
  my $len = unpack("n", substr($j, $p + 2, 2));
  my $res = substr($j, $p + 18, $len - 16);
  my $cut = int(length($res) / 2);
  my $seg = sub { my $b = "Photoshop 3.0\0" . $_[0]; "\xFF\xED" . pack("n", 2 + length $b) . $b };
  print substr($j, 0, $p), $seg->(substr($res, 0, $cut)), $seg->(substr($res, $cut)),
        substr($j, $p + 2 + $len);' <"$work/iptc.jpg" >"$out/iptc_split.jpg"
reading "$out/iptc_split.jpg" >"$out/iptc_split.args"

# A PNG with EXIF, IPTC and XMP only in raw text profiles (ImageMagick writes the IPTC and XMP
# ones; the EXIF one, which it now writes as an eXIf chunk, is added the same way).
cp "$work/base.jpg" "$work/profiles.jpg"
exiftool -q -overwrite_original -EXIF:Make=Maker -EXIF:Model="Model X" \
  -EXIF:DateTimeOriginal="2024:05:06 07:08:09" -EXIF:ExposureTime=0.01 -EXIF:FNumber=2.8 \
  -IPTC:Keywords+=alpha -IPTC:Keywords+=beta -IPTC:City=Paris \
  -XMP-dc:Subject+=one -XMP-xmp:Label=Red "$work/profiles.jpg"
convert "$work/profiles.jpg" -define png:exclude-chunk=eXIf "$work/profiles.png"
exiftool -b -EXIF "$work/profiles.jpg" >"$work/exif.bin"
perl -MCompress::Zlib -e '
  local $/; open(my $e, "<", $ARGV[0]); binmode $e; my $exif = "Exif\0\0" . <$e>;
  my $hex = unpack("H*", $exif); $hex =~ s/(.{72})/$1\n/g;
  my $text = sprintf("\nexif\n%8d\n%s\n", length $exif, $hex);
  my $data = "Raw profile type exif\0\0" . compress($text);
  my $chunk = pack("N", length $data) . "zTXt" . $data . pack("N", crc32("zTXt" . $data));
  my $png = <STDIN>; my $at = 8 + 25;  # after the signature and IHDR
  print substr($png, 0, $at), $chunk, substr($png, $at);' "$work/exif.bin" \
  <"$work/profiles.png" >"$out/raw_profiles.png"
reading "$out/raw_profiles.png" >"$out/raw_profiles.args"

# Extended XMP: the main packet names the extension by the MD5 of its text; the extension is cut
# into three pieces stored out of order, with a piece of another extension between them.
extension='<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about="" xmlns:photoshop="http://ns.adobe.com/photoshop/1.0/" photoshop:City="Far away"><photoshop:Instructions>Keep this text: it is long enough to be cut into three pieces of extended XMP.</photoshop:Instructions></rdf:Description></rdf:RDF></x:xmpmeta>'
guid=$(printf '%s' "$extension" | md5sum | cut -c1-32 | tr a-f A-F)
# exiftool will not write xmpNote:HasExtendedXMP itself, so the main packet is written here.
main='<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about="" xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmlns:xmpNote="http://ns.adobe.com/xmp/note/" xmp:Label="Main" xmpNote:HasExtendedXMP="'$guid'"/></rdf:RDF></x:xmpmeta><?xpacket end="w"?>'
MAIN=$main EXTENSION=$extension GUID=$guid perl -e '
  local $/; my $j = <STDIN>; my ($m, $x, $g) = @ENV{qw(MAIN EXTENSION GUID)};
  my $app1 = sub { "\xFF\xE1" . pack("n", 2 + length $_[0]) . $_[0] };
  my $seg = sub { my ($guid, $full, $off, $piece) = @_;
    $app1->("http://ns.adobe.com/xmp/extension/\0" . $guid . pack("NN", $full, $off) . $piece) };
  my $n = length $x; my $a = int($n / 3); my $b = int(2 * $n / 3);
  my $segments = $app1->("http://ns.adobe.com/xap/1.0/\0" . $m)
    . $seg->($g, $n, $b, substr($x, $b)) . $seg->($g, $n, 0, substr($x, 0, $a))
    . $seg->("0" x 32, 10, 0, "0123456789") . $seg->($g, $n, $a, substr($x, $a, $b - $a));
  print substr($j, 0, 2), $segments, substr($j, 2);' <"$work/base.jpg" >"$out/extended_xmp.jpg"
reading "$out/extended_xmp.jpg" >"$out/extended_xmp.args"

# XMP in a HEIF "mime" item, an MP4 top-level "uuid" box and a QuickTime moov/udta/XMP_ box;
# the QuickTime movie also keeps classic user-data text atoms.
ffmpeg -loglevel error -y -f lavfi -i color=c=gray:s=16x16:d=0.04 -frames:v 1 -c:v mjpeg \
  -f mov "$out/userdata.mov"
exiftool -q -overwrite_original -UserData:Make=Maker -UserData:Model="Cam 1" \
  -UserData:ContentCreateDate="2021:03:04 05:06:07" -UserData:Information="Some info" \
  "$out/userdata.mov"
reading "$out/userdata.mov" >"$out/userdata.args"
cp "$root/tests/fixtures/containers/still.heic" "$out/xmp_item.heic"
cp "$root/tests/fixtures/containers/movie_keys.mp4" "$out/xmp_uuid.mp4"
cp "$out/userdata.mov" "$out/xmp_udta.mov"
for file in xmp_item.heic xmp_uuid.mp4 xmp_udta.mov; do
  exiftool -q -overwrite_original -XMP-dc:Subject+=alpha -XMP-xmp:Label=Boxed \
    -XMP-dc:Title="In a box" "$out/$file"
  reading "$out/$file" >"$out/${file%.*}.args"
done

# A sidecar: the packet alone, as photo managers keep it beside a raw file.
cp "$work/base.jpg" "$work/sidecar.jpg"
exiftool -q -overwrite_original -XMP-xmp:Rating=3 -XMP-xmp:Label=Side \
  -XMP-dc:Subject+=kept -XMP-photoshop:City=Nice "$work/sidecar.jpg"
exiftool -q -o "$out/sidecar.xmp" "$work/sidecar.jpg"
reading "$out/sidecar.xmp" >"$out/sidecar.args"

# Seeds for the new paths.
for file in iptc_split.jpg raw_profiles.png extended_xmp.jpg userdata.mov; do
  cp "$out/$file" "$root/fuzz/corpus/metadata/extra_$file"
done
cp "$out/sidecar.xmp" "$root/fuzz/corpus/xmp/sidecar.xmp"
cp "$out/xmp_uuid.mp4" "$out/xmp_udta.mov" "$root/fuzz/corpus/isobmff/"
ls -l "$out"
