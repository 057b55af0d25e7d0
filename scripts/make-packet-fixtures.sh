#!/usr/bin/env bash
# scripts/make-packet-fixtures.sh: writes the XMP and IPTC fixtures of tests/fixtures/packets/
# and the fuzz seeds of fuzz/corpus/xmp/ and fuzz/corpus/iptc/. Packets are written by
# exiftool onto a tiny JPEG from ImageMagick; next to each JPEG, NAME.args holds exiftool's own
# reading of it (one "-Group:Tag=value" line per tag) for the tests to cross-check against.
# Needs: apt-get install libimage-exiftool-perl imagemagick
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/tests/fixtures/packets
xmpSeeds=$root/fuzz/corpus/xmp
iptcSeeds=$root/fuzz/corpus/iptc
mkdir -p "$out" "$xmpSeeds" "$iptcSeeds"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 8x8 xc:gray -strip "$work/base.jpg"

# write NAME EXIFTOOL-ARGUMENTS...: a copy of the base JPEG with the given tags written.
write() {
  local name=$1
  shift
  cp "$work/base.jpg" "$out/$name.jpg"
  exiftool -q -overwrite_original "$@" "$out/$name.jpg"
  exiftool -args -G1 -sep ", " -XMP:all -IPTC:all "$out/$name.jpg" >"$out/$name.args"
}

# Dublin Core arrays and simple properties as child elements; EXIF comes first, so the XMP
# sits in the second APP1 segment.
write xmp_elements \
  -EXIF:Artist="Ann Example" \
  -XMP-dc:Subject+=alpha -XMP-dc:Subject+=beta -XMP-dc:Subject+="gamma & delta" \
  -XMP-dc:Title="A <small> title" \
  -XMP-dc:Creator+="Ann Example" -XMP-dc:Creator+=Bob \
  -XMP-dc:Description="Line one" -XMP-dc:Rights="© 2024 Ann" \
  -XMP-xmp:CreatorTool="Fixture maker" -XMP-xmp:Rating=4 \
  -XMP-photoshop:City="Zürich" -XMP-photoshop:Headline="  Padded head  "

# The same simple properties written as attributes of rdf:Description.
write xmp_attributes -api Compact=Shorthand,NoPadding \
  -XMP-dc:Subject+=alpha \
  -XMP-xmp:CreatorTool="Fixture maker" -XMP-xmp:Rating=4 \
  -XMP-photoshop:City="Zürich" -XMP-photoshop:Headline="  Padded head  "

# IPTC record 2 in a Photoshop APP13 segment (exiftool adds ApplicationRecordVersion).
write iptc \
  -IPTC:Keywords+=alpha -IPTC:Keywords+=beta -IPTC:Keywords+="gamma delta" \
  -IPTC:Caption-Abstract="A caption" -IPTC:By-line+="Ann Example" -IPTC:By-line+=Bob \
  -IPTC:City=Paris -IPTC:Province-State=IDF -IPTC:Country-PrimaryLocationName=France \
  -IPTC:ObjectName=Object -IPTC:Headline=Head -IPTC:CopyrightNotice="(c) Ann" \
  -IPTC:Credit=Cred -IPTC:Source=Src -IPTC:DateCreated=2024:05:06 \
  -IPTC:TimeCreated=10:11:12+02:00 \
  -IPTC:SupplementalCategories+=one -IPTC:SupplementalCategories+=two

# EXIF, IPTC and XMP together.
write combined \
  -EXIF:Make=Maker -IPTC:Keywords+=both -IPTC:Caption-Abstract="Shared caption" \
  -XMP-dc:Subject+=both -XMP-dc:Description="Shared caption" -XMP-xmp:Label=Green

# XMP in a PNG iTXt chunk, the same chunk compressed, and a WebP "XMP " chunk.
convert -size 8x8 xc:gray -strip "$work/base.png"
convert -size 8x8 xc:gray -strip "$work/base.webp"
cp "$work/base.png" "$out/xmp_itxt.png"
cp "$work/base.webp" "$out/xmp_chunk.webp"
for file in "$out/xmp_itxt.png" "$out/xmp_chunk.webp"; do
  exiftool -q -overwrite_original -XMP-dc:Subject+=alpha -XMP-dc:Subject+=beta \
    -XMP-xmp:Label=Chunked -XMP-dc:Title="In a chunk" "$file"
done
# exiftool writes iTXt uncompressed: rewrite the chunk as a compressed one (zlib, method 0).
perl -MCompress::Zlib -e '
  local $/; my $png = <STDIN>; my $out = substr($png, 0, 8); my $p = 8;
  while ($p + 8 <= length $png) {
    my ($n, $type) = unpack("Na4", substr($png, $p, 8));
    my $data = substr($png, $p + 8, $n);
    if ($type eq "iTXt") {
      my ($keyword, $flag, $method, $rest) = unpack("Z* C C a*", $data);
      my ($language, $translated, $text) = unpack("Z* Z* a*", $rest);
      $data = pack("Z* C C Z* Z* a*", $keyword, 1, 0, $language, $translated, compress($text))
        if $flag == 0;
    }
    $out .= pack("N", length $data) . $type . $data . pack("N", crc32($type . $data));
    $p += 12 + $n;
  }
  print $out;' <"$out/xmp_itxt.png" >"$out/xmp_itxt_zipped.png"
for file in xmp_itxt.png xmp_itxt_zipped.png xmp_chunk.webp; do
  exiftool -args -G1 -sep ", " -XMP:all "$out/$file" >"$out/${file%.*}.args"
done

# Seeds: bare packets for the XMP target, whole JPEGs for the IPTC one.
for name in xmp_elements xmp_attributes combined; do
  exiftool -b -XMP "$out/$name.jpg" >"$xmpSeeds/$name.xmp"
done
for name in iptc combined; do
  cp "$out/$name.jpg" "$iptcSeeds/$name.jpg"
  # The bare dataset stream of the 0x0404 resource (unnamed, so its name field is two NULs).
  perl -0777 -ne 'print substr($_, $+[0], unpack("N", $1)) if /8BIM\x04\x04\x00\x00(....)/s' \
    "$out/$name.jpg" >"$iptcSeeds/$name.iim"
done
# A hand-written packet with the constructs exiftool does not write.
cat >"$xmpSeeds/constructs.xmp" <<'PACKET'
<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>
<!-- comment -->
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmp:Rating='3' xmp:Label="a &amp; b &#233;&#x20AC;">
<dc:title><rdf:Alt><rdf:li xml:lang="x-default">T&lt;1&gt;</rdf:li><rdf:li xml:lang="fr">T2</rdf:li></rdf:Alt></dc:title>
<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li/><rdf:li><![CDATA[c & <d>]]></rdf:li></rdf:Bag></dc:subject>
<xmp:Struct rdf:parseType="Resource"><xmp:Inner>in</xmp:Inner><?pi x?></xmp:Struct>
</rdf:Description></rdf:RDF></x:xmpmeta>
<?xpacket end="w"?>
PACKET
ls -l "$out" "$xmpSeeds" "$iptcSeeds"
