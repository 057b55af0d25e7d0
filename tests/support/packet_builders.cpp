#include "support/packet_builders.h"

namespace orvel::testing {

Bytes iptcDataset(uint8_t record, uint8_t dataset, std::string_view value) {
  Bytes out = {0x1C, record, dataset};
  appendBE16(out, static_cast<uint16_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

Bytes photoshopResource(uint16_t id, std::string_view name, const Bytes& data, bool padOddData) {
  Bytes out = bytesOf("8BIM");
  appendBE16(out, id);
  out.push_back(static_cast<uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  if (name.size() % 2 == 0) out.push_back(0);  // length byte plus name padded to even
  appendBE32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  if (padOddData && data.size() % 2 == 1) out.push_back(0);
  return out;
}

Bytes app13Payload(const std::vector<Bytes>& resources, std::string_view signature) {
  Bytes out = bytesOf(signature);
  out.push_back(0);
  for (const auto& resource : resources) out.insert(out.end(), resource.begin(), resource.end());
  return out;
}

Bytes jpegWithIptc(const std::vector<Bytes>& datasets) {
  Bytes block;
  for (const auto& dataset : datasets) block.insert(block.end(), dataset.begin(), dataset.end());
  return JpegBuilder().segment(0xED, app13Payload({photoshopResource(0x0404, "", block)})).finish();
}

Bytes xmpApp1Payload(std::string_view packet, bool withNul) {
  Bytes out = bytesOf("http://ns.adobe.com/xap/1.0/");
  if (withNul) out.push_back(0);
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

std::string xmpPacket(std::string_view body) {
  std::string out =
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'"
      " xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:xmp='http://ns.adobe.com/xap/1.0/'"
      " xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'>\n";
  out += body;
  out += "\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>";
  return out;
}

}  // namespace orvel::testing
