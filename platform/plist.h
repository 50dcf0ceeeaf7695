// SPDX-License-Identifier: Apache-2.0
// Property-list values (dictionaries, arrays, strings, numbers, booleans,
// data) and their XML form, read and written with libplist.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/file_bytes.h"

namespace platform::plist {

class Value;
class ArrayText;
using Array = std::vector<Value>;
using Dict = std::map<std::string, Value>;
using Data = std::vector<std::uint8_t>;

/// A date as property lists keep it: seconds and microseconds since
/// 2001-01-01 00:00:00 UTC.
struct Date {
  std::int32_t seconds = 0;
  std::int32_t micros = 0;
  /// The same instant in seconds since 1970-01-01 00:00:00 UTC.
  double secondsSince1970() const { return 978307200.0 + seconds + micros / 1e6; }
  bool operator==(const Date&) const = default;
};

/// One property-list value. Integers and reals are distinct from booleans.
///
/// Arrays and dictionaries are shared between copies until one of them is
/// changed: a copy of a domain with a folder list of 50,000 entries costs a
/// pointer, and comparing a list with its copy costs nothing. A pointer
/// from the non-const asArray() or asDict() stays valid until the value is
/// changed or destroyed, but a copy made after it was taken shares what it
/// points to: change through it before copying, never after.
///
/// A large array read from an XML list (over 64 KiB of text) stays that
/// text until its items are first looked at (asArray), and is written back
/// as that same text while it is not changed: a domain whose folder list
/// nobody looks at costs neither the list's parse nor its writing. It reads,
/// compares and copies as the parsed array would. Should libplist refuse the
/// text when it is looked at, the array reads as empty; its text is still
/// what is written back, so nothing of the file is lost.
class Value {
 public:
  Value() = default;
  Value(bool b) : v_(b) {}
  Value(int i) : v_(std::int64_t(i)) {}
  Value(std::int64_t i) : v_(i) {}
  Value(double d) : v_(d) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(std::string s) : v_(std::move(s)) {}
  // Out of line, as is every change of a shared array or dictionary:
  // what keeps them shared is made by this library alone, never by a
  // plug-in's code, so a plug-in unloaded while the process still holds
  // values it read (the parsed domains this library keeps) leaves nothing
  // behind that points into it.
  Value(Array a);
  Value(Dict d);
  Value(Data d) : v_(std::move(d)) {}
  Value(Date d) : v_(d) {}

  bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
  const bool* asBool() const { return std::get_if<bool>(&v_); }
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&v_); }
  const double* asReal() const { return std::get_if<double>(&v_); }
  const std::string* asString() const { return std::get_if<std::string>(&v_); }
  /// The array's items; an array kept as its text is parsed at the first
  /// look (once for every copy of it).
  const Array* asArray() const;
  /// The array to change, no longer shared with any copy.
  Array* asArray();
  const Dict* asDict() const { return sharedOf<Dict>(); }
  /// The dictionary to change, no longer shared with any copy.
  Dict* asDict();
  const Data* asData() const { return std::get_if<Data>(&v_); }
  const Date* asDate() const { return std::get_if<Date>(&v_); }
  /// Whether this is an array whose items nobody has looked at yet: it is
  /// still only the XML text it was read from (see above).
  bool isUnreadArrayText() const;

  /// Equal content (a shared array or dictionary is equal without a look).
  bool operator==(const Value& other) const;

 private:
  template <class T>
  const T* sharedOf() const {
    const auto* held = std::get_if<std::shared_ptr<T>>(&v_);
    return held ? held->get() : nullptr;
  }

  friend class ValueAccess;
  explicit Value(std::shared_ptr<const ArrayText> text);

  std::variant<std::monostate, bool, std::int64_t, double, std::string, std::shared_ptr<Array>,
               std::shared_ptr<Dict>, Data, Date, std::shared_ptr<const ArrayText>>
      v_;
};

/// Parses an XML or binary property list. nullopt when the bytes are not
/// a property list, or one nested deeper than 256 containers, larger than
/// 16 MiB or (binary) expanding to more than 32768 values; `error` (if
/// given) then says why. Dates stay dates, so they are written back as such.
///
/// libplist ends a one-byte string and every dictionary key at a NUL, so a
/// value read from such a list is not the list: `nulAt` (if given) is set
/// to the first place where a string or key holds a NUL (as placeOfNul
/// names it), and left empty when there is none.
std::optional<Value> parse(const std::string& bytes, std::string* error = nullptr,
                           std::optional<std::string>* nulAt = nullptr);
/// parse() of bytes that the arrays kept as text share rather than copy.
std::optional<Value> parse(std::shared_ptr<const FileBytes> bytes, std::string* error = nullptr,
                           std::optional<std::string>* nulAt = nullptr);
/// Reads and parses a file; nullopt when it is missing or not a property list.
std::optional<Value> readFile(const std::string& path, std::string* error = nullptr);
/// The XML form of a value: "" for a null value; nulls inside arrays and
/// dictionaries are left out, and a string or key ends at a NUL byte.
std::string toXml(const Value& value);

/// The first place where `value` holds a NUL character in a string or a
/// dictionary key, which no written form of it keeps: the keys and item
/// indexes leading there, as `"Job Handling" > "user name"` or
/// `"files" > [2] > "name"` (a NUL shown as \0, "" for `value` itself);
/// nullopt when there is none.
std::optional<std::string> placeOfNul(const Value& value);

}  // namespace platform::plist
