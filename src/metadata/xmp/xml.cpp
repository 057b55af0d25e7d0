#include "metadata/xmp/xml.h"

#include <algorithm>
#include <limits>

#include "base/text.h"

namespace orvel::metadata::xmp {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kLongestReference = 10;  // "#x10FFFF;" after the ampersand

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNameStart(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' ||
         byte == ':' || byte >= 0x80;
}

bool isNameChar(char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Code points that may appear in a document (XML 1.0 Char production).
bool isXmlChar(uint32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | code >> 6));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | code >> 12));
    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | code >> 18));
    out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

int digitValue(char c, int base) {
  const int value = base::hexDigitValue(c);
  return value < base ? value : -1;
}

struct PredefinedEntity {
  std::string_view name;
  char character;
};

constexpr PredefinedEntity kPredefinedEntities[] = {
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'},
};

[[noreturn]] void fail(const char* message) { throw XmlError(std::string("xml: ") + message); }

}  // namespace

// Single pass over the text; elements are opened and closed on an explicit stack, so hostile
// nesting cannot exhaust the call stack.
class XmlParser {
 public:
  XmlParser(std::string_view text, XmlDocument& document) : in_(text), doc_(document) {}

  void run() {
    if (in_.substr(0, kByteOrderMark.size()) == kByteOrderMark) pos_ = kByteOrderMark.size();
    skipMisc(false);
    if (atEnd()) fail("no root element");
    openElement();
    parseContent();
    skipMisc(true);
    if (!atEnd()) fail("content after the root element");
  }

 private:
  bool atEnd() const { return pos_ >= in_.size(); }
  bool startsWith(std::string_view prefix) const {
    return in_.substr(pos_, prefix.size()) == prefix;
  }
  char current() const { return atEnd() ? '\0' : in_[pos_]; }

  bool skipSpace() {
    const std::size_t start = pos_;
    while (!atEnd() && isXmlSpace(in_[pos_])) ++pos_;
    return pos_ != start;
  }

  // Moves past the next occurrence of `terminator`; the region before it is returned.
  std::string_view takeUntil(std::string_view terminator, const char* unterminated) {
    const std::size_t found = in_.find(terminator, pos_);
    if (found == std::string_view::npos) fail(unterminated);
    std::string_view region = in_.substr(pos_, found - pos_);
    pos_ = found + terminator.size();
    return region;
  }

  // Comments, processing instructions and white space around the root element. Packets are
  // often padded with NUL bytes after the root, which are tolerated there.
  void skipMisc(bool afterRoot) {
    for (;;) {
      skipSpace();
      if (afterRoot) {
        while (!atEnd() && in_[pos_] == '\0') ++pos_;
        if (!atEnd() && isXmlSpace(in_[pos_])) continue;
      }
      if (startsWith("<?")) {
        skipProcessingInstruction();
      } else if (startsWith("<!--")) {
        skipComment();
      } else if (startsWith("<!")) {
        fail(startsWith("<!DOCTYPE") ? "DOCTYPE is not allowed" : "unexpected declaration");
      } else if (!atEnd() && in_[pos_] != '<') {
        fail("text outside the root element");
      } else {
        return;
      }
    }
  }

  void skipProcessingInstruction() {
    pos_ += 2;
    if (!isNameStart(current())) fail("processing instruction without a target");
    takeUntil("?>", "unterminated processing instruction");
  }

  void skipComment() {
    pos_ += 4;
    takeUntil("-->", "unterminated comment");
  }

  std::string_view readName() {
    const std::size_t start = pos_;
    if (!isNameStart(current())) fail("name expected");
    while (!atEnd() && isNameChar(in_[pos_])) ++pos_;
    return in_.substr(start, pos_ - start);
  }

  // At '&': appends the referenced character.
  void readReference(std::string& out) {
    ++pos_;
    const std::size_t semicolon = in_.substr(pos_, kLongestReference + 1).find(';');
    if (semicolon == std::string_view::npos) fail("unterminated entity reference");
    const std::string_view body = in_.substr(pos_, semicolon);
    pos_ += semicolon + 1;
    if (!body.empty() && body[0] == '#') {
      appendUtf8(out, characterReference(body.substr(1)));
      return;
    }
    for (const auto& entity : kPredefinedEntities) {
      if (entity.name == body) {
        out.push_back(entity.character);
        return;
      }
    }
    fail("unknown entity");
  }

  static uint32_t characterReference(std::string_view digits) {
    int base = 10;
    if (!digits.empty() && digits[0] == 'x') {
      base = 16;
      digits.remove_prefix(1);
    }
    if (digits.empty()) fail("empty character reference");
    uint32_t code = 0;
    for (char c : digits) {
      const int digit = digitValue(c, base);
      if (digit < 0) fail("bad character reference");
      code = code * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
      if (code > 0x10FFFF) fail("character reference out of range");
    }
    if (!isXmlChar(code)) fail("character reference to a forbidden character");
    return code;
  }

  // Line ends become "\n", as XML prescribes for character data.
  void appendNormalisedLines(std::string& out, std::string_view raw) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '\r') {
        out.push_back(raw[i]);
        continue;
      }
      out.push_back('\n');
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    }
  }

  std::string readAttributeValue() {
    const char quote = current();
    if (quote != '"' && quote != '\'') fail("attribute value must be quoted");
    ++pos_;
    std::string value;
    for (;;) {
      if (atEnd()) fail("unterminated attribute value");
      const char c = in_[pos_];
      if (c == quote) break;
      if (c == '<') fail("'<' in an attribute value");
      if (c == '&') {
        readReference(value);
        continue;
      }
      // Literal white space is normalised to a space; a CR LF pair counts as one.
      if (c == '\r' && pos_ + 1 < in_.size() && in_[pos_ + 1] == '\n') ++pos_;
      value.push_back(isXmlSpace(c) ? ' ' : c);
      ++pos_;
    }
    ++pos_;
    return value;
  }

  static void requireDistinctNames(const std::vector<XmlAttribute>& attributes) {
    std::vector<std::string_view> names;
    names.reserve(attributes.size());
    for (const auto& attribute : attributes) names.push_back(attribute.name);
    std::sort(names.begin(), names.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end()) {
      fail("duplicate attribute");
    }
  }

  uint32_t internName(std::string_view name) {
    auto [found, inserted] =
        doc_.nameIds_.try_emplace(std::string(name), static_cast<uint32_t>(doc_.names_.size()));
    if (inserted) {
      doc_.names_.emplace_back(name);
      doc_.elementsByName_.emplace_back();
    }
    return found->second;
  }

  // At '<' of a start tag.
  void openElement() {
    if (open_.size() >= static_cast<std::size_t>(kXmlMaxDepth)) fail("nesting too deep");
    if (doc_.nodes_.size() >= std::numeric_limits<uint32_t>::max() - 1) fail("too many elements");
    ++pos_;
    const auto index = static_cast<uint32_t>(doc_.nodes_.size());
    XmlDocument::Node node;
    node.nameId = internName(readName());
    node.textBegin = doc_.text_.size();
    for (;;) {
      const bool spaced = skipSpace();
      if (startsWith("/>") || startsWith(">")) break;
      if (atEnd()) fail("unterminated start tag");
      if (!spaced) fail("attributes must be separated by white space");
      XmlAttribute attribute;
      attribute.name = readName();
      skipSpace();
      if (current() != '=') fail("'=' expected after an attribute name");
      ++pos_;
      skipSpace();
      attribute.value = readAttributeValue();
      node.attributes.push_back(std::move(attribute));
    }
    if (node.attributes.size() > 1) requireDistinctNames(node.attributes);
    doc_.elementsByName_[node.nameId].push_back(index);
    doc_.nodes_.push_back(std::move(node));
    open_.push_back(index);
    if (startsWith("/>")) {
      pos_ += 2;
      closeCurrent();
    } else {
      ++pos_;
    }
  }

  void closeCurrent() {
    XmlDocument::Node& node = doc_.nodes_[open_.back()];
    node.subtreeEnd = static_cast<uint32_t>(doc_.nodes_.size());
    node.textEnd = doc_.text_.size();
    open_.pop_back();
  }

  // At "</".
  void readEndTag() {
    pos_ += 2;
    const std::string_view name = readName();
    skipSpace();
    if (current() != '>') fail("'>' expected after an end tag name");
    ++pos_;
    if (name != doc_.names_[doc_.nodes_[open_.back()].nameId]) fail("mismatched end tag");
    closeCurrent();
  }

  void readText() {
    std::size_t runStart = pos_;
    while (!atEnd() && in_[pos_] != '<') {
      if (in_[pos_] != '&') {
        ++pos_;
        continue;
      }
      appendNormalisedLines(doc_.text_, in_.substr(runStart, pos_ - runStart));
      readReference(doc_.text_);
      runStart = pos_;
    }
    appendNormalisedLines(doc_.text_, in_.substr(runStart, pos_ - runStart));
  }

  void parseContent() {
    while (!open_.empty()) {
      if (atEnd()) fail("unclosed element");
      if (in_[pos_] != '<') {
        readText();
      } else if (startsWith("</")) {
        readEndTag();
      } else if (startsWith("<!--")) {
        skipComment();
      } else if (startsWith("<![CDATA[")) {
        pos_ += 9;
        appendNormalisedLines(doc_.text_, takeUntil("]]>", "unterminated CDATA section"));
      } else if (startsWith("<?")) {
        skipProcessingInstruction();
      } else if (startsWith("<!")) {
        fail(startsWith("<!DOCTYPE") ? "DOCTYPE is not allowed" : "unexpected declaration");
      } else {
        openElement();
      }
    }
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  XmlDocument& doc_;
  std::vector<uint32_t> open_;
};

XmlDocument XmlDocument::parse(std::string_view text) {
  XmlDocument document;
  XmlParser(text, document).run();
  return document;
}

std::vector<XmlElement> XmlDocument::elementsNamed(std::string_view name) const {
  return namedWithin(name, 0, static_cast<uint32_t>(nodes_.size()));
}

std::vector<XmlElement> XmlDocument::namedWithin(std::string_view name, uint32_t first,
                                                 uint32_t last) const {
  std::vector<XmlElement> found;
  const auto id = nameIds_.find(std::string(name));
  if (id == nameIds_.end()) return found;
  const std::vector<uint32_t>& indices = elementsByName_[id->second];
  for (auto it = std::lower_bound(indices.begin(), indices.end(), first);
       it != indices.end() && *it < last; ++it) {
    found.emplace_back(*this, *it);
  }
  return found;
}

std::string_view XmlElement::name() const {
  return document_->names_[document_->nodes_[index_].nameId];
}

const std::vector<XmlAttribute>& XmlElement::attributes() const {
  return document_->nodes_[index_].attributes;
}

std::vector<XmlElement> XmlElement::children() const {
  std::vector<XmlElement> found;
  const uint32_t end = document_->nodes_[index_].subtreeEnd;
  for (uint32_t child = index_ + 1; child < end; child = document_->nodes_[child].subtreeEnd) {
    found.emplace_back(*document_, child);
  }
  return found;
}

std::vector<XmlElement> XmlElement::descendants(std::string_view name) const {
  return document_->namedWithin(name, index_ + 1, document_->nodes_[index_].subtreeEnd);
}

std::string_view XmlElement::innerText() const {
  const auto& node = document_->nodes_[index_];
  return std::string_view(document_->text_).substr(node.textBegin, node.textEnd - node.textBegin);
}

}  // namespace orvel::metadata::xmp
