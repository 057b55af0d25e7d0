// Builders of IPTC and XMP carriers for tests and fuzz seeds: IPTC datasets, Photoshop image
// resources and APP13 payloads, XMP APP1 payloads and small XMP packets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/builders.h"

namespace orvel::testing {

// One IPTC dataset: 0x1C, record, dataset, big-endian length, value.
Bytes iptcDataset(uint8_t record, uint8_t dataset, std::string_view value);

// One "8BIM" image resource: id, Pascal name padded to an even size, big-endian data size,
// data, and a pad byte when the size is odd (unless `padOddData` is false).
Bytes photoshopResource(uint16_t id, std::string_view name, const Bytes& data,
                        bool padOddData = true);

// An APP13 payload: the signature and its NUL, then the resources back to back.
Bytes app13Payload(const std::vector<Bytes>& resources,
                   std::string_view signature = "Photoshop 3.0");

// A JPEG whose single APP13 segment holds one 0x0404 resource with the given datasets.
Bytes jpegWithIptc(const std::vector<Bytes>& datasets);

// An APP1 payload: the XMP signature (with or without its NUL) and the packet.
Bytes xmpApp1Payload(std::string_view packet, bool withNul = true);

// A packet whose rdf:RDF holds the given body, with the dc, xmp, photoshop and rdf
// namespaces bound.
std::string xmpPacket(std::string_view body);

}  // namespace orvel::testing
