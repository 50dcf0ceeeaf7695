// SPDX-License-Identifier: Apache-2.0
// Property lists through libplist 2.2: bytes -> plist_t -> Value and back.
//
// libplist is trusted only as far as it is safe. Its binary reader recurses
// once per nesting level and copies an object for every reference to it, and
// plist_free recurses too, so a few kilobytes of hostile input could exhaust
// the stack or expand to billions of nodes. Before handing bytes to libplist
// this file therefore bounds what they can build: the object graph of a
// binary list is walked here (references in range, no cycles, bounded depth
// and expanded size), and the markup of an XML list is checked for proper
// nesting within the same depth.
#include "platform/plist.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/c_handles.h"
#include "platform/strings.h"

namespace platform::plist {

/// An array kept as the XML text it was read from (from its "<array" to its
/// "</array>"), its items parsed at the first look and kept from then on.
/// Never changed once made, so copies share it freely.
class ArrayText {
 public:
  /// The array that is `length` bytes of `source` from `begin` (the bytes
  /// of the whole list, shared with whoever else keeps them).
  ArrayText(std::shared_ptr<const FileBytes> source, std::size_t begin, std::size_t length)
      : source_(std::move(source)), text_(source_->view().substr(begin, length)) {}
  ArrayText(const ArrayText&) = delete;
  ArrayText& operator=(const ArrayText&) = delete;

  std::string_view text() const { return text_; }
  /// The items; an empty array when libplist refuses the text.
  const Array& items() const;
  bool isRead() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return items_ != nullptr;
  }

 private:
  std::shared_ptr<const FileBytes> source_;
  std::string_view text_;
  mutable std::mutex mutex_;
  mutable std::unique_ptr<const Array> items_;
};

/// What this file alone may see of a value.
class ValueAccess {
 public:
  static Value arrayText(std::shared_ptr<const ArrayText> text) { return Value(std::move(text)); }
  static const ArrayText* textOf(const Value& value) {
    const auto* held = std::get_if<std::shared_ptr<const ArrayText>>(&value.v_);
    return held ? held->get() : nullptr;
  }
};

namespace {

// Largest input accepted; libplist takes 32-bit lengths and property lists
// of this system are a few kilobytes.
constexpr std::size_t kMaxBytes = 16u << 20;
// Deepest nesting of containers that a parsed value may have.
constexpr std::size_t kMaxDepth = 256;
// Most values a binary list may expand to, counting a shared object once
// per reference (libplist makes a copy for each).
constexpr std::uint64_t kMaxNodes = 1u << 15;

// An array whose XML text is at least this long is kept as its text until
// its items are looked at.
constexpr std::size_t kArrayTextBytes = 64u << 10;

using Node = PlistNode;

// Where a large array lies in the bytes of an XML list: from its "<array"
// to the end of its "</array>".
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
};

void setError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// A dictionary key as a place names it: in quotes, a NUL shown as \0.
std::string quotedKey(std::string_view key) {
  std::string out = "\"";
  for (const char c : key) {
    if (c == '\0') {
      out += "\\0";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string itemStep(std::uint64_t index) {
  return "[" + std::to_string(index) + "]";
}

std::string joinedPlace(const std::vector<std::string>& steps) {
  std::string place;
  for (const std::string& step : steps) place += (place.empty() ? "" : " > ") + step;
  return place;
}

std::uint64_t readBigEndian(const unsigned char* p, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

// Checks that a binary property list is well formed enough for libplist to
// read it without deep recursion or blow-up. Every object reachable from
// the top is visited once; its height and expanded size are memoised. When
// `nulAt` is given, it is set to the place of the first string or key
// object that holds a NUL, which libplist would cut there.
bool checkBinary(std::string_view bytes, std::string* error, std::optional<std::string>* nulAt) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  constexpr std::size_t kHeader = 8, kTrailer = 32;
  if (size < kHeader + kTrailer) {
    setError(error, "binary property list is truncated");
    return false;
  }
  const unsigned char* trailer = data + size - kTrailer;
  const std::size_t offsetSize = trailer[6];
  const std::size_t refSize = trailer[7];
  const std::uint64_t objectCount = readBigEndian(trailer + 8, 8);
  const std::uint64_t top = readBigEndian(trailer + 16, 8);
  const std::uint64_t tableOffset = readBigEndian(trailer + 24, 8);
  const std::size_t end = size - kTrailer;  // objects and table lie before this
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) {
    setError(error, "binary property list has bad offset or reference sizes");
    return false;
  }
  if (objectCount == 0 || top >= objectCount || tableOffset < kHeader || tableOffset > end ||
      objectCount > (end - tableOffset) / offsetSize) {
    setError(error, "binary property list has a bad trailer");
    return false;
  }

  auto offsetOf = [&](std::uint64_t object) {
    return readBigEndian(data + tableOffset + object * offsetSize, offsetSize);
  };
  // The count in the marker of the object at `offset` (its low nibble, or
  // the integer after it) and where the object's contents start; false
  // when the integer lies outside the data.
  auto countOf = [&](std::size_t offset, std::uint64_t& count, std::size_t& start) {
    count = data[offset] & 0x0F;
    start = offset + 1;
    if (count != 0x0F) return true;
    if (start >= end) return false;
    const unsigned char intMarker = data[start];
    if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
    const std::size_t intSize = std::size_t(1) << (intMarker & 0x0F);
    if (intSize > end - start - 1) return false;
    count = readBigEndian(data + start + 1, intSize);
    start += 1 + intSize;
    return true;
  };

  // Where an object's references start and how many there are; false when
  // the object lies outside the data. Non-containers have no references.
  struct Refs {
    std::size_t start = 0;
    std::uint64_t count = 0;
    bool dict = false;  // keys first, then their values in the same order
  };
  auto refsOf = [&](std::uint64_t object, Refs& refs) {
    const std::uint64_t offset = offsetOf(object);
    if (offset < kHeader || offset >= end) return false;
    const unsigned kind = data[offset] >> 4;
    refs = Refs{};
    if (kind != 0xA && kind != 0xC && kind != 0xD) return true;  // no references
    std::uint64_t count = 0;
    std::size_t start = 0;
    if (!countOf(offset, count, start)) return false;
    const std::uint64_t perEntry = kind == 0xD ? 2 : 1;
    if (start > end || count > (end - start) / refSize / perEntry) return false;
    refs.start = start;
    refs.count = count * perEntry;
    refs.dict = kind == 0xD;
    return true;
  };
  auto refAt = [&](const Refs& refs, std::uint64_t i) {
    return readBigEndian(data + refs.start + i * refSize, refSize);
  };
  // The text of a string object, UTF-16 ones as UTF-8; nullopt for any
  // other object or one outside the data.
  auto textOf = [&](std::uint64_t object) -> std::optional<std::string> {
    if (object >= objectCount) return std::nullopt;
    const std::uint64_t offset = offsetOf(object);
    if (offset < kHeader || offset >= end) return std::nullopt;
    const unsigned kind = data[offset] >> 4;
    if (kind != 0x5 && kind != 0x6) return std::nullopt;
    const std::size_t unit = kind == 0x6 ? 2 : 1;
    std::uint64_t count = 0;
    std::size_t start = 0;
    if (!countOf(offset, count, start) || start > end || count > (end - start) / unit) {
      return std::nullopt;
    }
    if (unit == 1) return std::string(reinterpret_cast<const char*>(data + start), count);
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) {
      units[i] = static_cast<char16_t>((data[start + 2 * i] << 8) | data[start + 2 * i + 1]);
    }
    return fromUtf16(units);
  };

  // Per visited object: whether its walk is finished, its height and the
  // number of values it expands to. Bounded by kMaxNodes entries.
  struct Seen {
    bool done = false;
    std::uint32_t height = 0;
    std::uint64_t nodes = 0;
  };
  std::unordered_map<std::uint64_t, Seen> seen;
  struct Frame {
    std::uint64_t object;
    Refs refs;
    std::uint64_t next;
  };
  std::vector<Frame> stack;
  // The place of the child just taken from the innermost frame: per frame,
  // the key or item index that leads on (a key itself when it is the child).
  auto placeInWalk = [&] {
    std::vector<std::string> steps;
    for (const Frame& frame : stack) {
      const std::uint64_t at = frame.next - 1;
      if (!frame.refs.dict) {
        steps.push_back(itemStep(at));
        continue;
      }
      const std::uint64_t keys = frame.refs.count / 2;
      const std::uint64_t key = refAt(frame.refs, at < keys ? at : at - keys);
      steps.push_back(quotedKey(textOf(key).value_or("?")));
    }
    return joinedPlace(steps);
  };
  auto open = [&](std::uint64_t object) {
    Frame frame{object, {}, 0};
    if (!refsOf(object, frame.refs)) {
      setError(error, "binary property list has an object outside the data");
      return false;
    }
    if (seen.size() >= kMaxNodes) {
      setError(error, "binary property list expands to too many values");
      return false;
    }
    seen.emplace(object, Seen{});
    stack.push_back(frame);
    return true;
  };
  if (!open(top)) return false;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.refs.count) {
      const std::uint64_t child = refAt(frame.refs, frame.next++);
      if (child >= objectCount) {
        setError(error, "binary property list refers to a missing object");
        return false;
      }
      const auto found = seen.find(child);
      if (found != seen.end() && !found->second.done) {
        setError(error, "binary property list contains itself");
        return false;
      }
      if (found == seen.end()) {
        if (nulAt && !*nulAt) {
          const std::optional<std::string> text = textOf(child);
          if (text && text->find('\0') != std::string::npos) *nulAt = placeInWalk();
        }
        if (stack.size() > kMaxDepth) {
          setError(error, "binary property list is nested too deeply");
          return false;
        }
        if (!open(child)) return false;
      }
      continue;
    }
    // Every child is finished: add them up.
    Seen total{true, 0, 1};
    for (std::uint64_t i = 0; i < frame.refs.count; ++i) {
      const Seen& child = seen.at(refAt(frame.refs, i));
      total.height = std::max(total.height, child.height);
      total.nodes += child.nodes;
      if (total.nodes > kMaxNodes) {
        setError(error, "binary property list expands to too many values");
        return false;
      }
    }
    total.height += 1;
    if (total.height > kMaxDepth) {
      setError(error, "binary property list is nested too deeply");
      return false;
    }
    seen[frame.object] = total;
    stack.pop_back();
  }
  return true;
}

// The bytes that may stand in an element's name as the markup check reads
// it: white space, "/", ">", "<" and quotes end a name, anything else
// (a NUL too) belongs to it.
constexpr std::array<bool, 256> kNameBytes = [] {
  std::array<bool, 256> table{};
  table.fill(true);
  for (const char stop : {' ', '\t', '\n', '\r', '/', '>', '<', '"', '\''}) {
    table[static_cast<unsigned char>(stop)] = false;
  }
  return table;
}();

constexpr std::array<bool, 256> kSpaceBytes = [] {
  std::array<bool, 256> table{};
  for (const char space : {' ', '\t', '\n', '\r'}) table[static_cast<unsigned char>(space)] = true;
  return table;
}();

// What an element of an XML list is to libplist.
enum class ElementKind { kForeign, kLeaf, kKey, kArray, kDict, kPlist };

bool isContainer(ElementKind kind) {
  return kind == ElementKind::kArray || kind == ElementKind::kDict || kind == ElementKind::kPlist;
}

// The elements of a property list are the only ones libplist reads.
ElementKind elementKind(std::string_view name) {
  // By length first, then at that length.
  const auto is = [name]<std::size_t N>(const char(&known)[N]) {
    return std::memcmp(name.data(), known, N - 1) == 0;
  };
  switch (name.size()) {
    case 3:
      return is("key") ? ElementKind::kKey : ElementKind::kForeign;
    case 4:
      if (is("dict")) return ElementKind::kDict;
      return is("real") || is("true") || is("date") || is("data") ? ElementKind::kLeaf
                                                                  : ElementKind::kForeign;
    case 5:
      if (is("array")) return ElementKind::kArray;
      if (is("plist")) return ElementKind::kPlist;
      return is("false") ? ElementKind::kLeaf : ElementKind::kForeign;
    case 6:
      return is("string") ? ElementKind::kLeaf : ElementKind::kForeign;
    case 7:
      return is("integer") ? ElementKind::kLeaf : ElementKind::kForeign;
    default:
      return ElementKind::kForeign;
  }
}

// Markup is compared eight bytes at a time: the bytes from `p` as one
// number, the first byte lowest.
std::uint64_t eightBytes(const char* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// The bytes of `word` equal to `c`, each marked by its high bit. The marks
// are exact (no carry crosses from byte to byte), so the lowest one is the
// first such byte.
std::uint64_t bytesEqual(std::uint64_t word, char c) {
  constexpr std::uint64_t kLow = 0x7F7F7F7F7F7F7F7F;
  const std::uint64_t diff = word ^ (0x0101010101010101 * static_cast<unsigned char>(c));
  return ~(((diff & kLow) + kLow) | diff | kLow);
}

// Up to sixteen bytes of markup, put together from pieces.
class Pattern {
 public:
  constexpr Pattern(std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) {
      for (const char c : piece) {
        const int shift = 8 * static_cast<int>(size_ % 8);
        bytes_[size_ / 8] |= std::uint64_t{static_cast<unsigned char>(c)} << shift;
        mask_[size_ / 8] |= std::uint64_t{0xFF} << shift;
        ++size_;
      }
    }
  }
  std::size_t size() const { return size_; }
  /// Whether the bytes from `p`, of which sixteen may be read, start with it.
  bool at(const char* p) const {
    return (eightBytes(p) & mask_[0]) == bytes_[0] &&
           (mask_[1] == 0 || (eightBytes(p + 8) & mask_[1]) == bytes_[1]);
  }

 private:
  std::uint64_t bytes_[2] = {};
  std::uint64_t mask_[2] = {};
  std::size_t size_ = 0;
};

// A start tag as libplist writes it, "<name>" or "<name/>" (after its
// "<"), and for a leaf its end tag "</name>" (after its "<").
struct PlainTag {
  Pattern start;
  Pattern end;
  ElementKind kind;
  bool empty;
  std::size_t nameSize;
};

constexpr PlainTag plainStart(std::string_view name, ElementKind kind) {
  return {{name, ">"}, {"/", name, ">"}, kind, false, name.size()};
}
constexpr PlainTag plainEmpty(std::string_view name, ElementKind kind) {
  return {{name, "/>"}, {}, kind, true, name.size()};
}

// Nearly every start tag of a list is one of these, the likeliest first.
constexpr PlainTag kPlainTags[] = {
    plainStart("key", ElementKind::kKey),     plainEmpty("true", ElementKind::kLeaf),
    plainEmpty("false", ElementKind::kLeaf),  plainStart("string", ElementKind::kLeaf),
    plainStart("dict", ElementKind::kDict),   plainStart("integer", ElementKind::kLeaf),
    plainStart("array", ElementKind::kArray), plainStart("real", ElementKind::kLeaf),
    plainStart("date", ElementKind::kLeaf),   plainStart("data", ElementKind::kLeaf),
    plainEmpty("string", ElementKind::kLeaf), plainEmpty("data", ElementKind::kLeaf),
    plainEmpty("array", ElementKind::kArray), plainEmpty("dict", ElementKind::kDict),
};

// The end tag of a container of `kind` as libplist writes it, after its "<".
const Pattern& plainEndTag(ElementKind kind) {
  static constexpr Pattern kDictEnd{"/dict>"};
  static constexpr Pattern kArrayEnd{"/array>"};
  static constexpr Pattern kPlistEnd{"/plist>"};
  return kind == ElementKind::kDict    ? kDictEnd
         : kind == ElementKind::kArray ? kArrayEnd
                                       : kPlistEnd;
}

// Whether `text` starts with one of the entities XML itself defines
// (libplist refuses any other).
bool startsXmlEntity(std::string_view text) {
  static constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
  return std::any_of(std::begin(kEntities), std::end(kEntities),
                     [text](std::string_view entity) { return text.starts_with(entity); });
}

// The position after the ">" closing a tag or declaration whose name ends
// before `from`; npos when it is unterminated or ambiguous. Sets `empty`
// when the tag closes itself with "/>".
std::size_t tagEnd(std::string_view bytes, std::size_t from, bool declaration, bool& empty) {
  constexpr auto npos = std::string::npos;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '"' || c == '\'') {
      const std::size_t close = bytes.find(c, i + 1);
      if (close == npos) return npos;
      const std::string_view quoted(bytes.data() + i + 1, close - i - 1);
      if (quoted.find_first_of("<>") != npos) return npos;
      i = close;
    } else if (c == '<' || (declaration && c == '[')) {
      return npos;
    } else if (c == '>') {
      empty = !declaration && bytes[i - 1] == '/';
      return i + 1;
    }
  }
  return npos;
}

// Checks the markup of an XML property list before libplist reads it and
// bounds its nesting. Elements must nest properly; comments, CDATA
// sections, processing instructions and declarations without an internal
// subset may stand anywhere. Markup whose extent a reader could see in two
// ways (a quoted "<" or ">", an internal DTD subset) is refused, so the
// element nesting counted here is at least the nesting libplist builds.
//
// When asked to, it also finds the large arrays that libplist surely reads
// alone as it reads them in the list: nothing inside that libplist's
// grammar lacks (text only in a leaf, only its own elements in a
// container, a key before each value of a dictionary) and no entity but
// the five of XML. Any other array is left to libplist's reading of the
// whole list, so a list libplist refuses is refused as before.
//
// Nearly all the markup of a list is written as libplist writes it:
// plainMarkup reads that apart from the rest, to the same effect, and
// startTag, endTag and otherMarkup read everything else.
class MarkupCheck {
 public:
  /// `largeArrays`, when given, gets the spans of the outermost arrays of
  /// at least kArrayTextBytes that may be kept as their text, in document
  /// order.
  MarkupCheck(std::string_view bytes, std::vector<Span>* largeArrays)
      : bytes_(bytes),
        data_(bytes.data()),
        size_(bytes.size()),
        plainLimit_(data_ + size_ - std::min<std::size_t>(size_, 32)),
        largeArrays_(largeArrays) {
    open_.reserve(kMaxDepth + 2);
  }
  /// nullptr when the markup is sound, otherwise what is wrong with it.
  const char* run() {
    for (std::size_t pos = nextMarkup(0); pos != npos; pos = nextMarkup(pos)) {
      const char second = data_[pos + 1];  // the NUL after the bytes past the last "<"
      const char* why = second == '/'                    ? endTag(pos)
                        : second == '!' || second == '?' ? otherMarkup(pos)
                                                         : startTag(pos);
      if (why) return why;
    }
    return open_.empty() ? nullptr : "property list has unclosed elements";
  }

 private:
  static constexpr auto npos = std::string::npos;
  static constexpr const char* kUnterminated = "property list has unterminated or ambiguous markup";

  struct Element {
    std::string_view name;
    std::size_t start = 0;
    ElementKind kind = ElementKind::kForeign;
    bool suspect = false;  // it or something inside it is not as libplist's grammar has it
    bool keyLast = false;  // a dictionary whose last child is a key
  };

  std::size_t nameEnd(std::size_t from) const {
    while (from < size_ && kNameBytes[static_cast<unsigned char>(data_[from])]) ++from;
    return from;
  }
  // The position after the `end` that follows `from`, or npos.
  std::size_t after(std::size_t from, std::string_view end) const {
    const std::size_t found = bytes_.find(end, from);
    return found == npos ? npos : found + end.size();
  }
  std::size_t find(char c, std::size_t from) const {
    const void* found = std::memchr(data_ + from, c, size_ - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data_) : npos;
  }
  std::size_t offset(const char* p) const { return static_cast<std::size_t>(p - data_); }
  // The end of the white space from `p`; the NUL after the bytes ends it.
  static const char* spaceEnd(const char* p) {
    while (kSpaceBytes[static_cast<unsigned char>(*p)]) ++p;
    return p;
  }
  // Whether the innermost element is a container still fit to be kept
  // (or to hold a kept array), so what stands in it matters.
  bool watched() const {
    return largeArrays_ && !open_.empty() && isContainer(open_.back().kind) &&
           !open_.back().suspect;
  }

  // The next "<" from `from`; the text before it is text of the innermost
  // element, of which a container may hold white space only.
  std::size_t nextMarkup(std::size_t from) {
    from = plainMarkup(from);
    if (watched()) {
      const char* p = spaceEnd(data_ + from);
      if (*p == '<') return offset(p);
      // Text in a container; with no "<" after it the list is refused anyway.
      if (p < data_ + size_) open_.back().suspect = true;
      from = offset(p);
    }
    return find('<', from);
  }

  // From `from`, markup as libplist writes it: in a container, white
  // space around plain tags (kPlainTags) and the container's own end tag,
  // a leaf's text holding no markup. It is read here as startTag and
  // endTag read it, without counting a leaf as open; at anything else this
  // returns the position after the last tag read, from where those go on.
  std::size_t plainMarkup(std::size_t from) {
    const char* p = data_ + from;
    const char* const limit = plainLimit_;  // kept in a register, not read again
    while (!open_.empty() && isContainer(open_.back().kind)) {
      const char* const at = spaceEnd(p);
      if (*at != '<' || at >= limit) break;
      const char* const next = at[1] == '/' ? plainEnd(at) : plainStart(at, limit);
      if (!next) break;
      p = next;
    }
    return offset(p);
  }
  // After the plain start tag at `at` (and for a leaf, its text and end
  // tag, before `limit`), or null.
  const char* plainStart(const char* at, const char* limit) {
    const PlainTag* const tag = plainTag(at + 1);
    if (!tag) return nullptr;
    const char* next = at + 1 + tag->start.size();
    if (!tag->empty) {
      // The plist element and a leaf element around kMaxDepth containers.
      if (open_.size() + 1 > kMaxDepth + 2) return nullptr;
      if (!isContainer(tag->kind)) {
        // Its text is of no concern, but only its end tag may follow it.
        next = nextOpening(next);
        if (!next || next >= limit || !tag->end.at(next + 1)) return nullptr;
        next += 1 + tag->end.size();
      }
    }
    if (largeArrays_) childOpens(tag->kind);
    if (!tag->empty && isContainer(tag->kind)) {
      open_.push_back(
          {std::string_view(at + 1, tag->nameSize), offset(at), tag->kind, false, false});
    }
    return next;
  }
  static const PlainTag* plainTag(const char* name) {
    for (const PlainTag& tag : kPlainTags) {
      if (tag.start.at(name)) return &tag;
    }
    return nullptr;
  }
  // After the end tag at `at` when it is the innermost container's, written
  // plainly; null otherwise.
  const char* plainEnd(const char* at) {
    const Pattern& end = plainEndTag(open_.back().kind);
    if (!end.at(at + 1)) return nullptr;
    const char* const next = at + 1 + end.size();
    closed(offset(next));
    return next;
  }
  // The first "<" from `p`, of which sixteen bytes may be read. The
  // texts of leaves are mostly short: their first bytes are looked at here,
  // eight at a time, and only longer ones through memchr.
  const char* nextOpening(const char* p) const {
    for (const char* const near = p + 16; p < near; p += 8) {
      if (const std::uint64_t marks = bytesEqual(eightBytes(p), '<')) {
        return p + std::countr_zero(marks) / 8;
      }
    }
    return static_cast<const char*>(std::memchr(p, '<', size_ - offset(p)));
  }

  const char* startTag(std::size_t& pos) {
    const std::size_t end = nameEnd(pos + 1);
    if (end == pos + 1) return "property list has a bad tag";
    bool empty = false;
    const std::string_view name(data_ + pos + 1, end - pos - 1);
    const std::size_t start = pos;
    pos = tagEnd(bytes_, end, false, empty);
    if (pos == npos) return kUnterminated;
    const ElementKind kind = elementKind(name);
    if (largeArrays_ && !open_.empty()) childOpens(kind);
    if (empty) return nullptr;
    open_.push_back({name, start, kind, kind == ElementKind::kForeign, false});
    // The plist element and a leaf element around kMaxDepth containers.
    if (open_.size() > kMaxDepth + 2) return "property list is nested too deeply";
    return nullptr;
  }

  const char* endTag(std::size_t& pos) {
    const std::size_t end = nameEnd(pos + 2);
    const std::string_view name(data_ + pos + 2, end - pos - 2);
    if (open_.empty() || open_.back().name != name) return "property list has mismatched tags";
    pos = offset(spaceEnd(data_ + end));
    if (pos >= size_ || data_[pos] != '>') return "property list has a bad end tag";
    closed(++pos);
    return nullptr;
  }

  // Comments, CDATA sections, processing instructions and declarations.
  const char* otherMarkup(std::size_t& pos) {
    const std::string_view rest(data_ + pos, size_ - pos);
    if (rest.starts_with("<!--")) {
      pos = after(pos + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      if (watched()) open_.back().suspect = true;  // text, which no container holds
      pos = after(pos + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      pos = after(pos + 2, "?>");
    } else {
      bool empty = false;
      pos = tagEnd(bytes_, pos + 2, true, empty);
    }
    return pos == npos ? kUnterminated : nullptr;
  }

  // An element of `kind` opens in the innermost one.
  void childOpens(ElementKind kind) {
    Element& parent = open_.back();
    if (!isContainer(parent.kind) || kind == ElementKind::kForeign) parent.suspect = true;
    if (parent.kind == ElementKind::kDict) {
      if (kind != ElementKind::kKey && !parent.keyLast) parent.suspect = true;
      parent.keyLast = kind == ElementKind::kKey;
    }
  }

  // The innermost element closes, its end tag ending before `end`.
  void closed(std::size_t end) {
    const Element element = open_.back();
    open_.pop_back();
    if (!largeArrays_) return;
    if (element.suspect && !open_.empty()) open_.back().suspect = true;
    if (element.kind != ElementKind::kArray || element.suspect) return;
    if (end - element.start < kArrayTextBytes || !onlyXmlEntities(element.start, end)) return;
    // It takes the place of the large arrays found inside it.
    while (!largeArrays_->empty() && largeArrays_->back().begin > element.start) {
      largeArrays_->pop_back();
    }
    largeArrays_->push_back({element.start, end});
  }

  // Whether every "&" from `begin` to `end` starts an entity of XML. Arrays
  // are asked in the order of their ends, so each "&" is looked at once
  // however many arrays hold it, and only the last foreign one matters.
  // No entity holds the ">" that ends an array, so one is read the same
  // past `end` as before it.
  bool onlyXmlEntities(std::size_t begin, std::size_t end) {
    for (std::size_t at = find('&', entitiesSeen_); at != npos && at < end;
         at = find('&', at + 1)) {
      if (!startsXmlEntity(std::string_view(data_ + at, size_ - at))) lastForeignEntity_ = at;
    }
    entitiesSeen_ = std::max(entitiesSeen_, end);
    return lastForeignEntity_ == npos || lastForeignEntity_ < begin;
  }

  std::string_view bytes_;
  const char* data_;  // a NUL follows the bytes (as in a std::string) and may be read
  std::size_t size_;
  // Plain markup is compared sixteen bytes at a time, so none from here on.
  const char* plainLimit_;
  std::vector<Span>* largeArrays_;
  std::vector<Element> open_;
  std::size_t entitiesSeen_ = 0;  // every "&" before it has been looked at
  std::size_t lastForeignEntity_ = npos;
};

bool checkXml(std::string_view bytes, std::string* error, std::vector<Span>* largeArrays) {
  const char* why = MarkupCheck(bytes, largeArrays).run();
  if (why) setError(error, why);
  return why == nullptr;
}

// What a large array is replaced by in the text libplist reads: a string
// of this mark and the array's number. A list whose bytes hold the mark
// anywhere has no array kept as text, so no string of its own is taken
// for one.
constexpr std::string_view kArrayTextMark = "jobwick:array-text:7c1e0b9a:";

using ArrayTexts = std::vector<std::shared_ptr<const ArrayText>>;

// The array text a marked string stands for; null for any other string.
const std::shared_ptr<const ArrayText>* markedArrayText(std::string_view text,
                                                        const ArrayTexts* texts) {
  if (!texts || !text.starts_with(kArrayTextMark)) return nullptr;
  text.remove_prefix(kArrayTextMark.size());
  std::size_t index = 0;
  if (text.empty()) return nullptr;
  for (const char c : text) {
    if (c < '0' || c > '9') return nullptr;
    index = index * 10 + std::size_t(c - '0');
    if (index >= texts->size()) return nullptr;
  }
  return &(*texts)[index];
}

std::optional<Value> fromNode(plist_t node, std::size_t depth, std::string* error,
                              const ArrayTexts* texts = nullptr) {
  if (depth > kMaxDepth) {
    setError(error, "property list is nested too deeply");
    return std::nullopt;
  }
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      // libplist 2.2 keeps every integer in 64 bits without a sign flag;
      // its XML and binary readers store negative numbers two's-complement.
      std::uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return Value(static_cast<std::int64_t>(u));
    }
    case PLIST_UID: {
      std::uint64_t u = 0;
      plist_get_uid_val(node, &u);
      return Value(static_cast<std::int64_t>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_DATE: {
      std::int32_t seconds = 0, micros = 0;
      plist_get_date_val(node, &seconds, &micros);
      return Value(Date{seconds, micros});
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      std::uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      if (s && plist_get_node_type(node) == PLIST_STRING) {
        if (const auto* text = markedArrayText(std::string_view(s, length), texts)) {
          return ValueAccess::arrayText(*text);
        }
      }
      return Value(s ? std::string(s, length) : std::string());
    }
    case PLIST_DATA: {
      std::uint64_t length = 0;
      const char* p = plist_get_data_ptr(node, &length);
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(p);
      return Value(p ? Data(bytes, bytes + length) : Data());
    }
    case PLIST_ARRAY: {
      Array array;
      const std::uint32_t count = plist_array_get_size(node);
      array.reserve(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        plist_t item = plist_array_get_item(node, i);
        if (!item) {
          setError(error, "array item missing");
          return std::nullopt;
        }
        auto value = fromNode(item, depth + 1, error, texts);
        if (!value) return std::nullopt;
        array.push_back(std::move(*value));
      }
      return Value(std::move(array));
    }
    case PLIST_DICT: {
      Dict dict;
      plist_dict_iter rawIter = nullptr;
      plist_dict_new_iter(node, &rawIter);
      MallocPtr<void> iter(rawIter);
      if (!iter) {
        setError(error, "out of memory");
        return std::nullopt;
      }
      for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter.get(), &rawKey, &item);
        MallocPtr<char> key(rawKey);
        if (!item) break;
        auto value = fromNode(item, depth + 1, error, texts);
        if (!value) return std::nullopt;
        dict.insert_or_assign(key ? std::string(key.get()) : std::string(), std::move(*value));
      }
      return Value(std::move(dict));
    }
    default:
      setError(error, "property list holds a value of unknown type");
      return std::nullopt;
  }
}

// The bytes of an XML list with each large array put aside into `texts`
// and a marked string in its place, which fromNode turns back into it.
std::string markArrayTexts(const std::shared_ptr<const FileBytes>& source,
                           const std::vector<Span>& spans, ArrayTexts& texts) {
  const std::string_view bytes = source->view();
  std::string marked;
  std::size_t at = 0;
  for (const Span& span : spans) {
    marked.append(bytes.substr(at, span.begin - at));
    marked += "<string>";
    marked += kArrayTextMark;
    marked += std::to_string(texts.size());
    marked += "</string>";
    texts.push_back(std::make_shared<const ArrayText>(source, span.begin, span.end - span.begin));
    at = span.end;
  }
  marked.append(bytes.substr(at));
  return marked;
}

// What libplist writes before the top value of an XML list.
constexpr std::string_view kXmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr std::string_view kXmlTail = "</plist>\n";

// The items of an array's XML text, read by libplist as the one value of a
// list; empty when it refuses them.
Array parseArrayText(std::string_view text) {
  try {
    std::string document(kXmlHead);
    document += text;
    document += '\n';
    document += kXmlTail;
    plist_t raw = nullptr;
    plist_from_xml(document.data(), static_cast<std::uint32_t>(document.size()), &raw);
    Node root(raw);
    document = std::string();
    if (!root) return Array();
    std::optional<Value> value = fromNode(root.get(), 0, nullptr);
    root.reset();
    Array* items = value ? value->asArray() : nullptr;
    return items ? std::move(*items) : Array();
  } catch (const std::exception&) {
    return Array();
  }
}

// A text as libplist writes it between tags: up to a NUL, with "&", "<"
// and ">" escaped.
void appendEscaped(std::string& out, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
}

void appendLine(std::string& out, std::size_t depth, std::string_view line) {
  out.append(depth, '\t');
  out += line;
  out += '\n';
}

// Appends the XML of a value that is not null, `depth` tabs in, exactly as
// libplist 2.2 writes it, without building libplist's tree (which for a
// folder list of 50,000 entries takes tens of megabytes). An array kept as
// its text is written as that text. False when the value holds what is
// left to libplist: a real, a date, data, or a key with a NUL.
bool appendXml(const Value& value, std::size_t depth, std::string& out) {
  if (const ArrayText* text = ValueAccess::textOf(value)) {
    appendLine(out, depth, text->text());
    return true;
  }
  if (const bool* b = value.asBool()) {
    appendLine(out, depth, *b ? "<true/>" : "<false/>");
    return true;
  }
  if (const std::int64_t* i = value.asInteger()) {
    appendLine(out, depth, "<integer>" + std::to_string(*i) + "</integer>");
    return true;
  }
  if (const std::string* s = value.asString()) {
    out.append(depth, '\t');
    out += "<string>";
    appendEscaped(out, *s);
    out += "</string>\n";
    return true;
  }
  if (const Array* array = value.asArray()) {
    const bool empty =
        std::all_of(array->begin(), array->end(), [](const Value& item) { return item.isNull(); });
    if (empty) {
      appendLine(out, depth, "<array/>");
      return true;
    }
    appendLine(out, depth, "<array>");
    for (const Value& item : *array) {
      if (!item.isNull() && !appendXml(item, depth + 1, out)) return false;
    }
    appendLine(out, depth, "</array>");
    return true;
  }
  if (const Dict* dict = value.asDict()) {
    const bool empty = std::all_of(dict->begin(), dict->end(),
                                   [](const auto& entry) { return entry.second.isNull(); });
    if (empty) {
      appendLine(out, depth, "<dict/>");
      return true;
    }
    appendLine(out, depth, "<dict>");
    for (const auto& [key, item] : *dict) {
      if (item.isNull()) continue;
      if (key.find('\0') != std::string::npos) return false;
      out.append(depth + 1, '\t');
      out += "<key>";
      appendEscaped(out, key);
      out += "</key>\n";
      if (!appendXml(item, depth + 1, out)) return false;
    }
    appendLine(out, depth, "</dict>");
    return true;
  }
  return false;
}

// Builds the libplist tree of a value; null for a null value.
Node toNode(const Value& value) {
  if (const bool* b = value.asBool()) return Node(plist_new_bool(*b ? 1 : 0));
  if (const std::int64_t* i = value.asInteger()) {
    // Stored two's-complement; libplist writes 8-byte integers signed.
    return Node(plist_new_uint(static_cast<std::uint64_t>(*i)));
  }
  if (const double* d = value.asReal()) return Node(plist_new_real(*d));
  if (const Date* date = value.asDate()) return Node(plist_new_date(date->seconds, date->micros));
  if (const std::string* s = value.asString()) return Node(plist_new_string(s->c_str()));
  if (const Data* data = value.asData()) {
    return Node(plist_new_data(reinterpret_cast<const char*>(data->data()), data->size()));
  }
  if (const Array* array = value.asArray()) {
    Node node(plist_new_array());
    for (const Value& item : *array) {
      Node child = toNode(item);
      if (child) plist_array_append_item(node.get(), child.release());
    }
    return node;
  }
  if (const Dict* dict = value.asDict()) {
    Node node(plist_new_dict());
    for (const auto& [key, item] : *dict) {
      Node child = toNode(item);
      if (child) plist_dict_set_item(node.get(), key.c_str(), child.release());
    }
    return node;
  }
  return nullptr;
}

// Appends to `steps` the way to the first NUL in `value`; false (steps as
// they were) when there is none.
bool findNul(const Value& value, std::vector<std::string>& steps) {
  // Only a list without a NUL anywhere keeps an array as its text.
  if (ValueAccess::textOf(value)) return false;
  if (const std::string* text = value.asString()) return text->find('\0') != std::string::npos;
  if (const Array* array = value.asArray()) {
    for (std::size_t i = 0; i < array->size(); ++i) {
      steps.push_back(itemStep(i));
      if (findNul((*array)[i], steps)) return true;
      steps.pop_back();
    }
  }
  if (const Dict* dict = value.asDict()) {
    for (const auto& [key, item] : *dict) {
      steps.push_back(quotedKey(key));
      if (key.find('\0') != std::string::npos || findNul(item, steps)) return true;
      steps.pop_back();
    }
  }
  return false;
}

}  // namespace

const Array& ArrayText::items() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  if (!items_) items_ = std::make_unique<const Array>(parseArrayText(text_));
  return *items_;
}

Value::Value(Array a) : v_(std::make_shared<Array>(std::move(a))) {}

Value::Value(std::shared_ptr<const ArrayText> text) : v_(std::move(text)) {}

Value::Value(Dict d) : v_(std::make_shared<Dict>(std::move(d))) {}

namespace {

template <class T>
T* owned(std::shared_ptr<T>* held) {
  if (!held) return nullptr;
  if (held->use_count() > 1) *held = std::make_shared<T>(**held);
  return held->get();
}

}  // namespace

const Array* Value::asArray() const {
  if (const auto* held = std::get_if<std::shared_ptr<Array>>(&v_)) return held->get();
  if (const ArrayText* text = ValueAccess::textOf(*this)) return &text->items();
  return nullptr;
}

Array* Value::asArray() {
  if (const ArrayText* text = ValueAccess::textOf(*this)) {
    // Changed from now on: an array of its own, no longer its text.
    auto items = std::make_shared<Array>(text->items());
    v_ = std::move(items);
  }
  return owned(std::get_if<std::shared_ptr<Array>>(&v_));
}

bool Value::isUnreadArrayText() const {
  const ArrayText* text = ValueAccess::textOf(*this);
  return text && !text->isRead();
}

Dict* Value::asDict() {
  return owned(std::get_if<std::shared_ptr<Dict>>(&v_));
}

bool Value::operator==(const Value& other) const {
  // The same text reads as the same items: no need to read them.
  const ArrayText* mineText = ValueAccess::textOf(*this);
  const ArrayText* theirText = ValueAccess::textOf(other);
  if (mineText && theirText && (mineText == theirText || mineText->text() == theirText->text())) {
    return true;
  }
  if (mineText || theirText) {
    const Array* mine = asArray();
    const Array* theirs = other.asArray();
    return mine && theirs && *mine == *theirs;
  }
  if (v_.index() != other.v_.index()) return false;
  if (const Array* mine = asArray()) {
    const Array* theirs = other.asArray();
    return mine == theirs || *mine == *theirs;
  }
  if (const Dict* mine = asDict()) {
    const Dict* theirs = other.asDict();
    return mine == theirs || *mine == *theirs;
  }
  return v_ == other.v_;
}

namespace {

// parse(), of `bytes` or, when given, of the bytes `shared` holds (which
// arrays kept as text then share rather than copy).
std::optional<Value> parseBytes(std::string_view bytes,
                                const std::shared_ptr<const FileBytes>& shared, std::string* error,
                                std::optional<std::string>* nulAt) {
  if (nulAt) nulAt->reset();
  if (bytes.empty()) {
    setError(error, "property list is empty");
    return std::nullopt;
  }
  if (bytes.size() > kMaxBytes) {
    setError(error, "property list is too large");
    return std::nullopt;
  }
  try {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    plist_t raw = nullptr;
    ArrayTexts texts;
    const bool binary = plist_is_binary(bytes.data(), length);
    if (binary) {
      if (!checkBinary(bytes, error, nulAt)) return std::nullopt;
      plist_from_bin(bytes.data(), length, &raw);
    } else {
      // A list with a NUL anywhere keeps no array as text (a NUL must be
      // found where it is), nor one holding the mark of such an array.
      const bool keepTexts =
          bytes.find('\0') == std::string::npos &&
          !::memmem(bytes.data(), bytes.size(), kArrayTextMark.data(), kArrayTextMark.size());
      std::vector<Span> spans;
      if (!checkXml(bytes, error, keepTexts ? &spans : nullptr)) return std::nullopt;
      if (spans.empty()) {
        plist_from_xml(bytes.data(), length, &raw);
      } else {
        const std::string marked = markArrayTexts(
            shared ? shared : std::make_shared<const FileBytes>(std::string(bytes)), spans, texts);
        plist_from_xml(marked.data(), static_cast<std::uint32_t>(marked.size()), &raw);
      }
    }
    Node root(raw);
    if (!root) {
      setError(error, "not a property list");
      return std::nullopt;
    }
    std::optional<Value> value = fromNode(root.get(), 0, error, &texts);
    // libplist's XML reader takes a NUL byte into a string as it is, but
    // ends a key there.
    if (value && nulAt && !binary && bytes.find('\0') != std::string::npos) {
      *nulAt = placeOfNul(*value).value_or("a key");
    }
    return value;
  } catch (const std::exception& e) {
    setError(error, e.what());
    return std::nullopt;
  }
}

}  // namespace

std::optional<Value> parse(const std::string& bytes, std::string* error,
                           std::optional<std::string>* nulAt) {
  return parseBytes(bytes, nullptr, error, nulAt);
}

std::optional<Value> parse(std::shared_ptr<const FileBytes> bytes, std::string* error,
                           std::optional<std::string>* nulAt) {
  if (!bytes) {
    setError(error, "property list is empty");
    return std::nullopt;
  }
  return parseBytes(bytes->view(), bytes, error, nulAt);
}

std::optional<Value> readFile(const std::string& path, std::string* error) {
  try {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const int fd = file.get();
    if (fd < 0) {
      setError(error, path + ": " + std::strerror(errno));
      return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      setError(error, path + ": not a regular file");
      return std::nullopt;
    }
    std::string bytes;
    // The size it has now: a large file is not copied again and again as it
    // grows, nor held in twice the room it needs.
    bytes.reserve(std::min<std::size_t>(std::size_t(info.st_size), kMaxBytes) + 1);
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        setError(error, path + ": " + std::strerror(errno));
        return std::nullopt;
      }
      if (n == 0) break;
      if (bytes.size() + std::size_t(n) > kMaxBytes) {
        setError(error, path + ": property list is too large");
        return std::nullopt;
      }
      bytes.append(buffer, std::size_t(n));
    }
    return parse(bytes, error);
  } catch (const std::exception& e) {
    setError(error, e.what());
    return std::nullopt;
  }
}

std::string toXml(const Value& value) {
  try {
    if (value.isNull()) return std::string();
    std::string xml(kXmlHead);
    if (appendXml(value, 0, xml)) return xml += kXmlTail;
  } catch (const std::exception&) {
    return std::string();
  }
  // Reals, dates and data are written as libplist writes them, through its
  // tree (an array kept as text is then read).
  try {
    Node root = toNode(value);
    if (!root) return std::string();
    char* raw = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &raw, &length);
    PlistXml xml(raw);
    // The tree of a large folder list is several times its text: gone
    // before the text is copied.
    root.reset();
    if (!xml) return std::string();
    return std::string(xml.get(), length);
  } catch (const std::exception&) {
    return std::string();
  }
}

std::optional<std::string> placeOfNul(const Value& value) {
  std::vector<std::string> steps;
  if (!findNul(value, steps)) return std::nullopt;
  return joinedPlace(steps);
}

}  // namespace platform::plist
