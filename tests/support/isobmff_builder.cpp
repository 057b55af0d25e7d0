#include "support/isobmff_builder.h"

#include <stdexcept>

namespace orvel::testing {
namespace {

void appendN(Bytes& out, int width, uint64_t value) {
  for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void appendType(Bytes& out, std::string_view type) {
  if (type.size() != 4) throw std::invalid_argument("box types have four bytes");
  out.insert(out.end(), type.begin(), type.end());
}

Bytes handler() {
  Bytes payload(4, 0);  // pre-defined
  appendType(payload, "pict");
  payload.resize(payload.size() + 12, 0);
  payload.push_back(0);  // empty name
  return fullBox("hdlr", 0, 0, payload);
}

}  // namespace

void appendBE64(Bytes& out, uint64_t value) { appendN(out, 8, value); }

void appendBytes(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) appendBytes(out, part);
  return out;
}

Bytes box(std::string_view type, const Bytes& payload) {
  Bytes out;
  appendBE32(out, static_cast<uint32_t>(payload.size() + 8));
  appendType(out, type);
  appendBytes(out, payload);
  return out;
}

Bytes largeBox(std::string_view type, const Bytes& payload) {
  Bytes out;
  appendBE32(out, 1);
  appendType(out, type);
  appendBE64(out, payload.size() + 16);
  appendBytes(out, payload);
  return out;
}

Bytes openEndedBox(std::string_view type, const Bytes& payload) {
  Bytes out;
  appendBE32(out, 0);
  appendType(out, type);
  appendBytes(out, payload);
  return out;
}

Bytes fullBox(std::string_view type, uint8_t version, uint32_t flags, const Bytes& payload) {
  Bytes body;
  appendBE32(body, uint32_t{version} << 24 | (flags & 0xFFFFFF));
  appendBytes(body, payload);
  return box(type, body);
}

HeifBuilder& HeifBuilder::item(HeifItemLayout entry) {
  items_.push_back(std::move(entry));
  return *this;
}
HeifBuilder& HeifBuilder::infeVersion(uint8_t version) {
  infeVersion_ = version;
  return *this;
}
HeifBuilder& HeifBuilder::ilocVersion(uint8_t version) {
  ilocVersion_ = version;
  return *this;
}
HeifBuilder& HeifBuilder::fieldSizes(int offsetSize, int lengthSize, int baseOffsetSize) {
  offsetSize_ = offsetSize;
  lengthSize_ = lengthSize;
  baseOffsetSize_ = baseOffsetSize;
  return *this;
}
HeifBuilder& HeifBuilder::brand(std::string_view major) {
  brand_ = std::string(major);
  return *this;
}
HeifBuilder& HeifBuilder::trailing(Bytes bytes) {
  trailing_ = std::move(bytes);
  return *this;
}
HeifBuilder& HeifBuilder::leading(Bytes bytes) {
  leading_ = std::move(bytes);
  return *this;
}

Bytes HeifBuilder::meta(const std::map<uint32_t, int64_t>& offsets) const {
  const int idWidth = infeVersion_ >= 3 ? 4 : 2;
  Bytes entries;
  appendN(entries, 2, items_.size());
  for (const HeifItemLayout& entry : items_) {
    Bytes infe;
    appendN(infe, idWidth, entry.id);
    appendN(infe, 2, 0);  // protection index
    appendType(infe, entry.type);
    infe.push_back(0);    // empty item name
    if (entry.type == "mime") {
      appendBytes(infe, bytesOf(entry.contentType));
      infe.push_back(0);
    }
    appendBytes(entries, fullBox("infe", infeVersion_, 0, infe));
  }
  const Bytes iinf = fullBox("iinf", 0, 0, entries);

  const int ilocIdWidth = ilocVersion_ == 2 ? 4 : 2;
  Bytes iloc;
  iloc.push_back(static_cast<uint8_t>(offsetSize_ << 4 | lengthSize_));
  iloc.push_back(static_cast<uint8_t>(baseOffsetSize_ << 4));
  appendN(iloc, ilocIdWidth, items_.size());
  for (const HeifItemLayout& entry : items_) {
    appendN(iloc, ilocIdWidth, entry.id);
    if (ilocVersion_ == 1 || ilocVersion_ == 2) appendN(iloc, 2, entry.constructionMethod);
    appendN(iloc, 2, 0);  // data reference index
    const int64_t absolute = offsets.at(entry.id);
    const int64_t base = baseOffsetSize_ > 0 ? absolute - 4 : 0;
    appendN(iloc, baseOffsetSize_, static_cast<uint64_t>(base));
    appendN(iloc, 2, static_cast<uint64_t>(entry.extents));
    const size_t piece = entry.data.size() / static_cast<size_t>(entry.extents);
    for (int e = 0; e < entry.extents; ++e) {
      const size_t start = piece * static_cast<size_t>(e);
      const size_t length = e + 1 == entry.extents ? entry.data.size() - start : piece;
      appendN(iloc, offsetSize_, static_cast<uint64_t>(absolute - base + static_cast<int64_t>(start)));
      appendN(iloc, lengthSize_, length);
    }
  }
  return fullBox("meta", 0, 0, concat({handler(), iinf, fullBox("iloc", ilocVersion_, 0, iloc)}));
}

std::map<uint32_t, int64_t> HeifBuilder::layout(int64_t mdatPayload) const {
  std::map<uint32_t, int64_t> offsets;
  int64_t position = mdatPayload;
  for (const HeifItemLayout& entry : items_) {
    offsets[entry.id] = position;
    position += static_cast<int64_t>(entry.data.size());
  }
  return offsets;
}

Bytes HeifBuilder::build() const {
  Bytes brands = bytesOf(brand_);
  appendBE32(brands, 0);
  appendBytes(brands, bytesOf("mif1"));
  appendBytes(brands, bytesOf(brand_));
  const Bytes ftyp = box("ftyp", brands);
  std::map<uint32_t, int64_t> placeholder;
  for (const HeifItemLayout& entry : items_) placeholder[entry.id] = 4;
  const auto metaSize = static_cast<int64_t>(meta(placeholder).size());
  const auto mdatPayload = static_cast<int64_t>(ftyp.size() + leading_.size()) + metaSize + 8;
  Bytes data;
  for (const HeifItemLayout& entry : items_) appendBytes(data, entry.data);
  return concat({ftyp, leading_, meta(layout(mdatPayload)), box("mdat", data), trailing_});
}

int64_t HeifBuilder::dataOffset(uint32_t id) const {
  const auto ftypSize = static_cast<int64_t>(8 + 4 + 4 + 4 + brand_.size());
  std::map<uint32_t, int64_t> placeholder;
  for (const HeifItemLayout& entry : items_) placeholder[entry.id] = 4;
  const auto metaSize = static_cast<int64_t>(meta(placeholder).size());
  return layout(ftypSize + static_cast<int64_t>(leading_.size()) + metaSize + 8).at(id);
}

Bytes exifItemPayload(const Bytes& tiff, const Bytes& gap) {
  Bytes out;
  appendBE32(out, static_cast<uint32_t>(gap.size()));
  appendBytes(out, gap);
  appendBytes(out, tiff);
  return out;
}

Bytes mvhd(uint8_t version, uint64_t creation) {
  Bytes payload;
  if (version == 0) {
    appendBE32(payload, static_cast<uint32_t>(creation));
    appendBE32(payload, static_cast<uint32_t>(creation));  // modification
    appendBE32(payload, 600);                               // time scale
    appendBE32(payload, 1200);                              // duration
  } else {
    appendBE64(payload, creation);
    appendBE64(payload, creation);
    appendBE32(payload, 600);
    appendBE64(payload, 1200);
  }
  payload.resize(payload.size() + 80, 0);
  return fullBox("mvhd", version, 0, payload);
}

Bytes tkhd(uint8_t version, uint32_t width, uint32_t height) {
  // Times, track ID, reserved and duration (20 bytes, or 32 in version 1), then reserved,
  // layer, group, volume and matrix (52 bytes).
  Bytes payload(version == 0 ? 72u : 84u, 0);
  appendBE32(payload, width << 16);
  appendBE32(payload, height << 16);
  return fullBox("tkhd", version, 7, payload);
}

Bytes track(const Bytes& trackHeader) { return box("trak", trackHeader); }

Bytes dataBox(std::string_view text, uint32_t typeIndicator) {
  Bytes payload;
  appendBE32(payload, typeIndicator);
  appendBE32(payload, 0);  // locale
  appendBytes(payload, bytesOf(text));
  return box("data", payload);
}

Bytes ilstItem(std::string_view type, std::string_view text) { return box(type, dataBox(text)); }

Bytes ilstItemIndexed(uint32_t keyIndex, std::string_view text) {
  Bytes out;
  const Bytes data = dataBox(text);
  appendBE32(out, static_cast<uint32_t>(data.size() + 8));
  appendBE32(out, keyIndex);
  appendBytes(out, data);
  return out;
}

Bytes keysBox(const std::vector<std::string>& keys) {
  Bytes payload;
  appendBE32(payload, static_cast<uint32_t>(keys.size()));
  for (const std::string& key : keys) {
    appendBE32(payload, static_cast<uint32_t>(key.size() + 8));
    appendBytes(payload, bytesOf("mdta"));
    appendBytes(payload, bytesOf(key));
  }
  return fullBox("keys", 0, 0, payload);
}

Bytes metaBox(const Bytes& children, bool quickTimeStyle) {
  Bytes hdlr(4, 0);
  appendBytes(hdlr, bytesOf("mdta"));
  hdlr.resize(hdlr.size() + 13, 0);
  const Bytes all = concat({fullBox("hdlr", 0, 0, hdlr), children});
  return quickTimeStyle ? box("meta", all) : fullBox("meta", 0, 0, all);
}

const Bytes kCanonRawUuid = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                             0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};

Bytes canonRawFile(const std::vector<Bytes>& blocks, const Bytes& uuidBox) {
  Bytes uuid = uuidBox;
  if (uuid.empty()) {
    Bytes payload = kCanonRawUuid;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      appendBytes(payload, box("CMT" + std::to_string(i + 1), blocks[i]));
    }
    uuid = box("uuid", payload);
  }
  Bytes ftyp = bytesOf("crx ");
  appendBE32(ftyp, 1);
  appendBytes(ftyp, bytesOf("crx isom"));
  return concat({box("ftyp", ftyp), box("moov", concat({uuid, track(tkhd(0, 6000, 4000))})),
                 box("mdat", Bytes(64, 0x5A))});
}

}  // namespace orvel::testing
