// Decoding XMP packets and IPTC blocks into name/value pairs, against exiv2 in the same run.
// Inputs are synthetic but shaped like real ones: an editor-style packet with Dublin Core
// arrays and a few dozen simple properties, and a caption-and-keywords IPTC block.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "metadata/iptc/iptc.h"
#include "metadata/xmp/xmp.h"
#include "support/packet_builders.h"

namespace {

using orvel::testing::Bytes;

std::string samplePacket() {
  std::string body = "<rdf:Description rdf:about='' xmp:CreatorTool='Editor 1.0'"
                     " xmp:CreateDate='2024-05-06T10:11:12+02:00' xmp:Rating='4'>";
  body += "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour at dusk</rdf:li>"
          "</rdf:Alt></dc:title><dc:creator><rdf:Seq><rdf:li>Ann Example</rdf:li></rdf:Seq>"
          "</dc:creator><dc:subject><rdf:Bag>";
  for (int i = 0; i < 40; ++i) body += "<rdf:li>keyword " + std::to_string(i) + "</rdf:li>";
  body += "</rdf:Bag></dc:subject></rdf:Description><rdf:Description rdf:about=''>";
  for (int i = 0; i < 40; ++i) {
    const std::string name = "photoshop:Field" + std::to_string(i);
    body += "<" + name + ">value &amp; text " + std::to_string(i) + "</" + name + ">";
  }
  body += "</rdf:Description>";
  return orvel::testing::xmpPacket(body);
}

Bytes sampleIptcStream() {
  Bytes stream;
  auto add = [&](uint8_t dataset, const std::string& value) {
    const Bytes one = orvel::testing::iptcDataset(2, dataset, value);
    stream.insert(stream.end(), one.begin(), one.end());
  };
  add(0, std::string("\x00\x04", 2));
  add(120, "A long caption describing the harbour at dusk, with boats and gulls.");
  add(80, "Ann Example");
  add(90, "Bergen");
  add(101, "Norway");
  for (int i = 0; i < 40; ++i) add(25, "keyword " + std::to_string(i));
  return stream;
}

void xmpOrvel(benchmark::State& state) {
  const std::string packet = samplePacket();
  for (auto _ : state) {
    auto record = orvel::metadata::xmp::parseXmp(packet);
    benchmark::DoNotOptimize(record.properties.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}

void xmpExiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  Exiv2::XmpParser::initialize();
  const std::string packet = samplePacket();
  for (auto _ : state) {
    Exiv2::XmpData data;
    if (Exiv2::XmpParser::decode(data, packet) != 0) {
      state.SkipWithError("exiv2 refused the packet");
    }
    benchmark::DoNotOptimize(data.count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}

// Ours locates the block in the JPEG as well; exiv2 is handed the dataset stream directly.
void iptcOrvel(benchmark::State& state) {
  const Bytes stream = sampleIptcStream();
  const Bytes jpeg = orvel::testing::jpegWithIptc({stream});
  for (auto _ : state) {
    auto record = orvel::metadata::iptc::parseIptc(jpeg);
    benchmark::DoNotOptimize(record.names.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

void iptcExiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  const Bytes stream = sampleIptcStream();
  for (auto _ : state) {
    Exiv2::IptcData data;
    if (Exiv2::IptcParser::decode(data, stream.data(), static_cast<uint32_t>(stream.size())) != 0) {
      state.SkipWithError("exiv2 refused the block");
    }
    benchmark::DoNotOptimize(data.count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

}  // namespace

BENCHMARK(xmpOrvel)->Name("xmp_parse/orvel");
BENCHMARK(xmpExiv2)->Name("xmp_parse/exiv2");
BENCHMARK(iptcOrvel)->Name("iptc_parse/orvel");
BENCHMARK(iptcExiv2)->Name("iptc_parse/exiv2");

BENCHMARK_MAIN();
