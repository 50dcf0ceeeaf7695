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
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/c_handles.h"
#include "platform/strings.h"

namespace platform::plist {

namespace {

// Largest input accepted; libplist takes 32-bit lengths and property lists
// of this system are a few kilobytes.
constexpr std::size_t kMaxBytes = 16u << 20;
// Deepest nesting of containers that a parsed value may have.
constexpr std::size_t kMaxDepth = 256;
// Most values a binary list may expand to, counting a shared object once
// per reference (libplist makes a copy for each).
constexpr std::uint64_t kMaxNodes = 1u << 15;

using Node = PlistNode;

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
bool checkBinary(const std::string& bytes, std::string* error, std::optional<std::string>* nulAt) {
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

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Checks the markup of an XML property list before libplist reads it and
// bounds its nesting. Elements must nest properly; comments, CDATA
// sections, processing instructions and declarations without an internal
// subset may stand anywhere. Markup whose extent a reader could see in two
// ways (a quoted "<" or ">", an internal DTD subset) is refused, so the
// element nesting counted here is at least the nesting libplist builds.
bool checkXml(const std::string& bytes, std::string* error) {
  constexpr auto npos = std::string::npos;
  auto fail = [error](const char* why) {
    setError(error, why);
    return false;
  };
  // The position after the `end` that follows `from`, or npos.
  auto after = [&bytes](std::size_t from, std::string_view end) {
    const std::size_t found = bytes.find(end, from);
    return found == npos ? npos : found + end.size();
  };
  // The position after the ">" closing a tag or declaration whose name
  // ends before `from`; npos when it is unterminated or ambiguous. Sets
  // `empty` when the tag closes itself with "/>".
  auto tagEnd = [&bytes](std::size_t from, bool declaration, bool& empty) -> std::size_t {
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
  };
  auto nameEnd = [&bytes](std::size_t from) {
    std::size_t i = from;
    while (i < bytes.size() && !isSpace(bytes[i]) && bytes[i] != '/' && bytes[i] != '>' &&
           bytes[i] != '<' && bytes[i] != '"' && bytes[i] != '\'') {
      ++i;
    }
    return i;
  };

  std::vector<std::string_view> open;
  for (std::size_t pos = bytes.find('<'); pos != npos; pos = bytes.find('<', pos)) {
    const std::string_view rest(bytes.data() + pos, bytes.size() - pos);
    if (rest.starts_with("<!--")) {
      pos = after(pos + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      pos = after(pos + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      pos = after(pos + 2, "?>");
    } else if (rest.starts_with("<!")) {
      bool empty = false;
      pos = tagEnd(pos + 2, true, empty);
    } else if (rest.starts_with("</")) {
      const std::size_t end = nameEnd(pos + 2);
      const std::string_view name(bytes.data() + pos + 2, end - pos - 2);
      if (open.empty() || open.back() != name) return fail("property list has mismatched tags");
      open.pop_back();
      pos = end;
      while (pos < bytes.size() && isSpace(bytes[pos])) ++pos;
      if (pos >= bytes.size() || bytes[pos] != '>') return fail("property list has a bad end tag");
      ++pos;
      continue;
    } else {
      const std::size_t end = nameEnd(pos + 1);
      if (end == pos + 1) return fail("property list has a bad tag");
      bool empty = false;
      const std::string_view name(bytes.data() + pos + 1, end - pos - 1);
      pos = tagEnd(end, false, empty);
      if (pos != npos && !empty) {
        open.push_back(name);
        // The plist element and a leaf element around kMaxDepth containers.
        if (open.size() > kMaxDepth + 2) return fail("property list is nested too deeply");
      }
    }
    if (pos == npos) return fail("property list has unterminated or ambiguous markup");
  }
  if (!open.empty()) return fail("property list has unclosed elements");
  return true;
}

std::optional<Value> fromNode(plist_t node, std::size_t depth, std::string* error) {
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
        auto value = fromNode(item, depth + 1, error);
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
        auto value = fromNode(item, depth + 1, error);
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

Value::Value(Array a) : v_(std::make_shared<Array>(std::move(a))) {}

Value::Value(Dict d) : v_(std::make_shared<Dict>(std::move(d))) {}

namespace {

template <class T>
T* owned(std::shared_ptr<T>* held) {
  if (!held) return nullptr;
  if (held->use_count() > 1) *held = std::make_shared<T>(**held);
  return held->get();
}

}  // namespace

Array* Value::asArray() {
  return owned(std::get_if<std::shared_ptr<Array>>(&v_));
}

Dict* Value::asDict() {
  return owned(std::get_if<std::shared_ptr<Dict>>(&v_));
}

bool Value::operator==(const Value& other) const {
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

std::optional<Value> parse(const std::string& bytes, std::string* error,
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
    const bool binary = plist_is_binary(bytes.data(), length);
    if (binary) {
      if (!checkBinary(bytes, error, nulAt)) return std::nullopt;
      plist_from_bin(bytes.data(), length, &raw);
    } else {
      if (!checkXml(bytes, error)) return std::nullopt;
      plist_from_xml(bytes.data(), length, &raw);
    }
    Node root(raw);
    if (!root) {
      setError(error, "not a property list");
      return std::nullopt;
    }
    std::optional<Value> value = fromNode(root.get(), 0, error);
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
