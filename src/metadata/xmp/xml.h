// A small, hardened XML reader: exactly what XMP packets need. It builds an element tree with
// attributes and character data, resolves the five predefined entities and numeric character
// references, and skips comments and processing instructions. Packets are untrusted, so a
// DOCTYPE is refused outright (no entity expansion of any kind), nesting is capped, and every
// query runs in time proportional to its answer: elements are stored in document order with
// the extent of their subtree, character data is one string in document order, and each tag
// name keeps the ordered list of its elements.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvel::metadata::xmp {

// A document that is not well-formed (or uses a refused construct). Recoverable: callers
// treat it as "no document".
class XmlError : public std::runtime_error {
 public:
  explicit XmlError(const std::string& message) : std::runtime_error(message) {}
};

inline constexpr int kXmlMaxDepth = 256;

struct XmlAttribute {
  std::string name;   // as written, prefix included
  std::string value;  // entities resolved, white space normalised as XML prescribes
};

class XmlDocument;

// A light reference to one element of a document; valid while the document lives.
class XmlElement {
 public:
  XmlElement(const XmlDocument& document, uint32_t index) : document_(&document), index_(index) {}

  std::string_view name() const;
  const std::vector<XmlAttribute>& attributes() const;
  std::vector<XmlElement> children() const;
  // Elements below this one (not itself) with the given tag name, in document order.
  std::vector<XmlElement> descendants(std::string_view name) const;
  // The concatenated character data of every descendant, in document order.
  std::string_view innerText() const;
  uint32_t index() const { return index_; }

 private:
  const XmlDocument* document_;
  uint32_t index_;
};

class XmlDocument {
 public:
  // Parses a whole document; throws XmlError when it is malformed.
  static XmlDocument parse(std::string_view text);

  // Elements refer to their document, so it moves but is never copied.
  XmlDocument(XmlDocument&&) = default;
  XmlDocument& operator=(XmlDocument&&) = default;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  XmlElement root() const { return XmlElement(*this, 0); }
  std::size_t elementCount() const { return nodes_.size(); }
  // Every element of the document (the root included) with the given tag name, in document order.
  std::vector<XmlElement> elementsNamed(std::string_view name) const;

 private:
  friend class XmlElement;
  friend class XmlParser;

  XmlDocument() = default;

  struct Node {
    uint32_t nameId = 0;
    uint32_t subtreeEnd = 0;  // index one past the last descendant
    std::size_t textBegin = 0;  // extent of the subtree's character data in text_
    std::size_t textEnd = 0;
    std::vector<XmlAttribute> attributes;
  };

  // The elements named `name` whose indices lie in [first, last), in document order.
  std::vector<XmlElement> namedWithin(std::string_view name, uint32_t first, uint32_t last) const;

  std::vector<Node> nodes_;            // document order (pre-order)
  std::vector<std::string> names_;     // interned tag names
  std::unordered_map<std::string, uint32_t> nameIds_;
  std::vector<std::vector<uint32_t>> elementsByName_;  // per name id, ascending node indices
  std::string text_;                   // all character data, in document order
};

}  // namespace orvel::metadata::xmp
