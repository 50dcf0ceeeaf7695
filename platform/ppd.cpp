// SPDX-License-Identifier: Apache-2.0
// PPD access through libcups. libcups marks its PPD interface deprecated;
// this file is the only user of it, so the warning is silenced here alone.
#include "platform/ppd.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <unordered_set>
#include <vector>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace platform {

namespace {

// libcups builds a record for every UI option and looks each new option up
// among those already read, so its parse grows with the square of the
// option count. The dialog asks a PPD only for attributes, its model name
// and its encoding, none of which the choices of an option block give: the
// text libcups is handed has the plain blocks left out (with the option's
// *Default line, the one attribute that belongs to the option), so that
// everything else (attributes and errors) is what the whole file gives; a
// refused text is parsed again with a comment line standing for each line
// left out, so that the line an error names is the file's own. Anything
// the blanking is not sure about ends it, and libcups reads the rest of
// the file as it is.

// libcups reads at most 255 bytes per line and 256 KiB per entry; the
// names of options and choices have at most 40 bytes.
constexpr std::size_t kMaxColumns = 255;
constexpr std::size_t kMaxEntry = 200000;
constexpr std::size_t kMaxName = 40;

// One entry as libcups' reader takes it: it ends at CR, LF or CR LF, unless
// a quote opened after its first colon is still open; then it runs on to
// the line end after the closing quote.
struct ReaderLine {
  std::string_view head;  // its first line: keyword, option, text, value's start
  std::size_t end = 0;    // just past its last line end
  int lineEnds = 0;       // CR, LF and CR LF, one each
  bool plain = true;      // quotes closed, lines short, no SUB (0x1A) byte
};

// Which of the bytes a line reader looks for a text holds at all: most
// PPDs end their lines with LF alone and hold no SUB, and each line is
// then spared a search for them.
struct TextMarks {
  bool cr = true;
  bool sub = true;
};

TextMarks marksOf(std::string_view text) {
  return {std::memchr(text.data(), '\r', text.size()) != nullptr,
          std::memchr(text.data(), '\x1a', text.size()) != nullptr};
}

// The offset of the first CR or LF from `at`, or the text's end. Lines are
// short: the two searches look a window ahead, then the loop goes on.
std::size_t lineEndAt(std::string_view text, std::size_t at, const TextMarks& marks) {
  const char* begin = text.data() + at;
  if (!marks.cr) {
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', text.size() - at));
    return lf != nullptr ? at + static_cast<std::size_t>(lf - begin) : text.size();
  }
  const std::size_t window = std::min<std::size_t>(text.size() - at, 512);
  const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', window));
  const std::size_t limit = lf != nullptr ? static_cast<std::size_t>(lf - begin) : window;
  if (const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', limit)); cr != nullptr)
    return at + static_cast<std::size_t>(cr - begin);
  if (lf != nullptr) return at + limit;
  at += window;
  while (at < text.size() && text[at] != '\n' && text[at] != '\r') ++at;
  return at;
}

// Whether `text` holds an odd number of double quotes.
bool oddQuotes(std::string_view text) {
  bool odd = false;
  for (const char *at = text.data(), *end = text.data() + text.size();;) {
    at = static_cast<const char*>(std::memchr(at, '"', static_cast<std::size_t>(end - at)));
    if (at == nullptr) return odd;
    odd = !odd;
    ++at;
  }
}

ReaderLine readLine(std::string_view text, std::size_t at, const TextMarks& marks = {}) {
  ReaderLine line;
  const bool comment = text.substr(at, 2) == "*%";
  bool colon = false;
  bool quoted = false;
  std::size_t from = at;
  while (true) {
    const std::size_t end = lineEndAt(text, from, marks);
    const std::string_view physical = text.substr(from, end - from);
    if (line.head.data() == nullptr) line.head = physical;
    if (physical.size() > kMaxColumns ||
        (marks.sub && physical.find('\x1a') != std::string_view::npos))
      line.plain = false;
    // After the entry's first colon each quote opens or closes its value.
    std::size_t quotesFrom = colon ? 0 : std::string_view::npos;
    if (!colon && !comment) {
      const std::size_t found = physical.find(':');
      colon = found != std::string_view::npos;
      if (colon) quotesFrom = found + 1;
    }
    if (quotesFrom != std::string_view::npos && oddQuotes(physical.substr(quotesFrom)))
      quoted = !quoted;
    from = end;
    if (end == text.size()) break;
    ++line.lineEnds;
    from += text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    if (!quoted) break;
  }
  if (quoted || from - at > kMaxEntry) line.plain = false;
  line.end = from;
  return line;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The main keyword of an entry ("OpenUI" of "*OpenUI *Duplex: PickOne").
// Its keyword ends at a colon or white space; a byte libcups' isspace might
// take for white space in some locale (0x80 and above, VT, FF) makes it
// "?", which no test below matches and which ends a block's blanking.
std::string_view keywordOf(std::string_view head) {
  // The bytes that end a keyword or make it "?", marked once.
  static constexpr auto kStops = [] {
    std::array<bool, 256> stops{};
    for (int c = 0x80; c < 0x100; ++c) stops[c] = true;
    for (const unsigned char c : {':', ' ', '\t', '\v', '\f'}) stops[c] = true;
    return stops;
  }();
  if (!head.starts_with('*')) return {};
  std::size_t i = 1;
  while (i < head.size() && !kStops[static_cast<unsigned char>(head[i])]) ++i;
  if (i < head.size() && head[i] != ':' && head[i] != ' ' && head[i] != '\t') return "?";
  return head.substr(1, i - 1);
}

// Takes a name of printable ASCII (no colon or slash) off the front of
// `rest`; empty when there is none or it is longer than libcups keeps.
std::string_view takeName(std::string_view& rest) {
  std::size_t i = 0;
  while (i < rest.size() && rest[i] > ' ' && rest[i] < 127 && rest[i] != ':' && rest[i] != '/') ++i;
  if (i > kMaxName) return {};
  const std::string_view name = rest.substr(0, i);
  rest.remove_prefix(i);
  return name;
}

// Takes "/translation" (no control characters) off the front of `rest`;
// false for a translation libcups would refuse.
bool takeTranslation(std::string_view& rest) {
  if (!rest.starts_with('/')) return true;
  std::size_t i = 1;
  while (i < rest.size() && rest[i] != ':') {
    const auto c = static_cast<unsigned char>(rest[i]);
    if (c < ' ' && c != '\t') return false;
    ++i;
  }
  rest.remove_prefix(i);
  return true;
}

// The option of "*OpenUI *Name/Text: PickOne" (PickMany, Boolean), an
// option name of letters, digits, '.', '_' and '-'; empty for any other
// form of the line.
std::string_view plainOpenUI(const ReaderLine& line) {
  std::string_view rest = line.head;
  if (!line.plain || line.lineEnds > 1 || rest.find('"') != std::string_view::npos ||
      !rest.starts_with("*OpenUI") || rest.size() < 8 || !isBlank(rest[7]))
    return {};
  rest.remove_prefix(7);
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  if (!rest.starts_with('*')) return {};
  rest.remove_prefix(1);
  const std::string_view name = takeName(rest);
  const auto isAsciiAlnum = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  };
  if (name.empty() || name.size() + 1 > kMaxName || !isAsciiAlnum(name[0])) return {};
  for (char c : name) {
    if (!isAsciiAlnum(c) && c != '.' && c != '_' && c != '-') return {};
  }
  if (!takeTranslation(rest) || !rest.starts_with(':')) return {};
  rest.remove_prefix(1);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
    rest.remove_prefix(1);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back())))
    rest.remove_suffix(1);
  if (rest != "PickOne" && rest != "PickMany" && rest != "Boolean") return {};
  return name;
}

// Whether the entry is a choice of `option`: "*Option Choice/Text: value".
bool isPlainChoice(const ReaderLine& line, std::string_view option) {
  std::string_view rest = line.head;
  if (!line.plain || !rest.starts_with('*')) return false;
  rest.remove_prefix(1);
  if (!rest.starts_with(option)) return false;
  rest.remove_prefix(option.size());
  if (rest.empty() || !isBlank(rest.front())) return false;
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  if (takeName(rest).empty() || !takeTranslation(rest)) return false;
  return rest.starts_with(':');
}

bool isPlainClose(const ReaderLine& line) {
  return line.plain && line.lineEnds <= 1 && line.head.find('"') == std::string_view::npos &&
         (line.head.starts_with("*CloseUI:") || line.head.starts_with("*JCLCloseUI:"));
}

// Keywords whose entries, inside an option block, the blanking leaves to
// libcups: the ones that open or close options and groups, and the UI
// keywords that libcups makes an option of when they stand outside a block.
bool keepsItsBlock(std::string_view keyword) {
  // Sorted, for the binary search.
  static constexpr std::string_view kKeywords[] = {
      "AdvanceMedia",      "BindColor",     "BindEdge",
      "BindType",          "BindWhen",      "BitsPerPixel",
      "BlackSubstitution", "Booklet",       "CloseGroup",
      "CloseSubGroup",     "Collate",       "ColorModel",
      "CutMedia",          "Duplex",        "FoldType",
      "FoldWhen",          "InputSlot",     "JCLFrameBufferSize",
      "JCLOpenUI",         "JCLResolution", "Jog",
      "ManualFeed",        "MediaColor",    "MediaType",
      "MediaWeight",       "MirrorPrint",   "NegativePrint",
      "OpenGroup",         "OpenSubGroup",  "OpenUI",
      "OutputBin",         "OutputMode",    "OutputOrder",
      "PageRegion",        "PageSize",      "Resolution",
      "Separations",       "Signature",     "Slipsheet",
      "Smoothing",         "Sorter",        "StapleLocation",
      "StapleOrientation", "StapleWhen",    "StapleX",
      "StapleY",           "TraySwitch"};
  return std::binary_search(std::begin(kKeywords), std::end(kKeywords), keyword);
}

// What stands in for a blanked entry of `lineEnds` lines when the lines
// are kept: as many empty comments, which libcups counts and skips as it
// did the entry (an empty line would not end a run of carriage returns,
// nor start a new entry's line count). Otherwise nothing.
void appendBlankLines(std::string& out, int lineEnds, bool keepLines) {
  for (int i = 0; keepLines && i < lineEnds; ++i) out += "*%\n";
}

// Whether the entry is the plain default of `option`: "*DefaultOption: value".
bool isPlainDefault(const ReaderLine& line, std::string_view option) {
  std::string_view rest = line.head;
  if (!line.plain || line.lineEnds > 1 || rest.find('"') != std::string_view::npos ||
      !rest.starts_with("*Default"))
    return false;
  rest.remove_prefix(8);
  return rest.starts_with(option) && rest.substr(option.size()).starts_with(':');
}

// Appends the block of `option` that `open` starts to `out`, its opening,
// default, choices and closing left out (as empty comments when
// `keepLines`; the other entries in it stay); answers the offset after the
// block, or 0 (nothing appended) when the block is not plain.
std::size_t blankBlock(std::string_view text, const TextMarks& marks, const ReaderLine& open,
                       std::string_view option, bool keepLines, std::string& out) {
  const std::size_t before = out.size();
  auto notPlain = [&]() -> std::size_t {
    out.resize(before);
    return 0;
  };
  appendBlankLines(out, open.lineEnds, keepLines);
  for (std::size_t at = open.end; at < text.size();) {
    const ReaderLine line = readLine(text, at, marks);
    // Most entries in a block are its choices ("*Option Choice..."), whose
    // keyword is the option's name itself.
    const std::string_view head = line.head;
    const bool choiceLike = head.size() > option.size() + 1 && head[0] == '*' &&
                            head.compare(1, option.size(), option) == 0 &&
                            isBlank(head[option.size() + 1]);
    const std::string_view keyword = choiceLike ? option : keywordOf(head);
    if (!line.plain || line.head.starts_with("*%APLWORKSET")) return notPlain();
    if (keyword == "CloseUI" || keyword == "JCLCloseUI") {
      if (!isPlainClose(line)) return notPlain();
      appendBlankLines(out, line.lineEnds, keepLines);
      return line.end;
    }
    if (keyword == option) {
      if (!isPlainChoice(line, option)) return notPlain();
      appendBlankLines(out, line.lineEnds, keepLines);
    } else if (isPlainDefault(line, option)) {
      appendBlankLines(out, line.lineEnds, keepLines);
    } else if (keepsItsBlock(keyword) || keyword == "?") {
      return notPlain();
    } else {
      out.append(text.substr(at, line.end - at));
    }
    at = line.end;
  }
  return notPlain();
}

// The option a kept entry makes libcups create: the one an *OpenUI or
// *JCLOpenUI opens, or a UI keyword's (libcups makes an option of one that
// stands outside a block); empty for any other entry.
std::string_view optionMadeBy(const ReaderLine& line) {
  const std::string_view keyword = keywordOf(line.head);
  if (keyword == "OpenUI" || keyword == "JCLOpenUI") {
    std::string_view rest = line.head.substr(keyword.size() + 1);
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    if (rest.starts_with('*')) rest.remove_prefix(1);
    std::size_t i = 0;
    while (i < rest.size() && rest[i] != '/' && rest[i] != ':' && !isBlank(rest[i])) ++i;
    return rest.substr(0, i);
  }
  return keepsItsBlock(keyword) ? keyword : std::string_view();
}

// The offset after a JCL option block that starts at `at` and is closed
// before any other block opens, or 0. Such a block stays as it is.
std::size_t jclBlockEnd(std::string_view text, const TextMarks& marks, std::size_t at) {
  at = readLine(text, at, marks).end;
  while (at < text.size()) {
    const ReaderLine line = readLine(text, at, marks);
    const std::string_view keyword = keywordOf(line.head);
    if (keyword == "OpenUI" || keyword == "JCLOpenUI" || !line.plain) return 0;
    if (keyword == "CloseUI" || keyword == "JCLCloseUI") return line.end;
    at = line.end;
  }
  return 0;
}

// The lean text as it is made: appended to a buffer, which goes to the
// writer whenever it passes a chunk between two entries (a block is
// blanked inside the buffer, as it may have to be taken back); a long run
// of text kept as it is goes to the writer directly.
class LeanText {
 public:
  explicit LeanText(const std::function<bool(std::string_view)>& write) : write_(write) {
    buffer_.reserve(kChunk + 4096);
  }
  std::string& buffer() { return buffer_; }
  void keep(std::string_view text) {
    if (text.size() < kChunk) {
      buffer_.append(text);
    } else {
      flush();
      if (ok_) ok_ = write_(text);
    }
    if (buffer_.size() >= kChunk) flush();
  }
  void flushIfFull() {
    if (buffer_.size() >= kChunk) flush();
  }
  bool finish() {
    flush();
    return ok_;
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  void flush() {
    if (ok_ && !buffer_.empty()) ok_ = write_(buffer_);
    buffer_.clear();
  }
  const std::function<bool(std::string_view)>& write_;
  std::string buffer_;
  bool ok_ = true;
};

}  // namespace

bool writeWithoutOptionBlocks(std::string_view text, bool keepLines,
                              const std::function<bool(std::string_view)>& write) {
  LeanText out(write);
  const TextMarks marks = marksOf(text);
  std::unordered_set<std::string_view> blanked;  // the options left out
  std::vector<std::string_view> made;            // options the kept entries make
  auto keep = [&](std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to;) {
      const ReaderLine line = readLine(text, at, marks);
      if (const std::string_view name = optionMadeBy(line); !name.empty()) made.push_back(name);
      at = line.end;
    }
    out.keep(text.substr(from, to - from));
  };
  std::size_t at = readLine(text, 0, marks).end;  // the header line stays
  out.keep(text.substr(0, at));
  while (at < text.size()) {
    out.flushIfFull();
    const ReaderLine line = readLine(text, at, marks);
    const std::string_view keyword = keywordOf(line.head);
    std::size_t after = line.end;
    if (keyword == "OpenUI") {
      const std::string_view option = plainOpenUI(line);
      after = option.empty() ? 0 : blankBlock(text, marks, line, option, keepLines, out.buffer());
      if (after == 0) break;
      blanked.insert(option);
      at = after;
      continue;
    }
    if (keyword == "JCLOpenUI") after = jclBlockEnd(text, marks, at);
    if (after == 0 || line.head.starts_with("*%APLWORKSET")) break;
    keep(at, after);
    at = after;
  }
  keep(at, text.size());
  // An option left out that a kept entry makes again would have its
  // *Default missing: libcups reads the whole text then.
  for (const std::string_view name : made) {
    if (blanked.contains(name)) return false;
  }
  return out.finish();
}

namespace {

/// The error text of a refused parse: the status in libcups' words and the
/// line it stopped on, or the system's reason when the file would not open.
std::string parseError(const std::string& name, int savedErrno) {
  int line = 0;
  const ppd_status_t status = ppdLastError(&line);
  std::string text = name + ": " + ppdErrorString(status);
  if (status == PPD_FILE_OPEN_ERROR && savedErrno != 0) {
    text += std::string(" (") + std::strerror(savedErrno) + ")";
  } else {
    text += " on line " + std::to_string(line);
  }
  return text;
}

std::string openError(const std::string& name, int savedErrno) {
  return name + ": " + ppdErrorString(PPD_FILE_OPEN_ERROR) +
         (savedErrno != 0 ? std::string(" (") + std::strerror(savedErrno) + ")" : std::string());
}

bool isGzip(std::string_view text) {
  return text.size() >= 2 && text[0] == '\x1f' && text[1] == '\x8b';
}

}  // namespace

std::shared_ptr<const PPDText> PPDText::read(const std::string& path, bool mapped,
                                             std::string* error) {
  errno = 0;
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!file || ::fstat(file.get(), &status) != 0) {
    if (error != nullptr) *error = openError(path, errno);
    return nullptr;
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  std::shared_ptr<PPDText> text(new PPDText());
  if (mapped && S_ISREG(status.st_mode) && size > 0) {
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (map != MAP_FAILED) {
      text->map_ = map;
      text->size_ = size;
      if (error != nullptr) error->clear();
      return text;
    }
  }
  const std::size_t expected = S_ISREG(status.st_mode) ? size : 0;
  if (text->copy_.read(file.get(), expected, SIZE_MAX - 1) != FileBytes::ReadResult::kRead) {
    if (error != nullptr) *error = openError(path, errno);
    return nullptr;
  }
  if (error != nullptr) error->clear();
  return text;
}

PPDText::~PPDText() {
  if (map_ != nullptr) ::munmap(map_, size_);
}

PPDFile openPPD(const std::string& path, std::string* error) {
  const std::shared_ptr<const PPDText> text = PPDText::read(path, false, error);
  if (!text) return nullptr;
  if (isGzip(text->bytes())) {
    // A compressed PPD: libcups reads it whole, through its own inflater.
    errno = 0;
    PPDFile ppd(ppdOpenFile(path.c_str()));
    if (error != nullptr) *error = ppd ? std::string() : parseError(path, errno);
    return ppd;
  }
  return openPPDText(text->bytes(), path, error);
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

PPDFile openPPDText(std::string_view text, const std::string& name, std::string* error) {
  // libcups parses from a file: the lean text is handed over in memory,
  // written as it is made into an anonymous file opened again by its /proc
  // name. The blocks leave no lines behind; only a refusal, whose line
  // number must be the file's own, is parsed again from the text with the
  // lines kept.
  errno = 0;
  UniqueFd memory(::memfd_create("ppd", MFD_CLOEXEC));
  const std::string reopen = memory ? "/proc/self/fd/" + std::to_string(memory.get()) : "";
  PPDFile ppd;
  bool blanked = true;
  for (const bool keepLines : {false, true}) {
    bool written =
        memory && ::ftruncate(memory.get(), 0) == 0 && ::lseek(memory.get(), 0, SEEK_SET) == 0;
    if (written && !writeWithoutOptionBlocks(text, keepLines, [&memory](std::string_view piece) {
          return writeAll(memory.get(), piece);
        })) {
      // Not blanked after all (or a failed write, which the next one repeats).
      blanked = false;
      written = ::ftruncate(memory.get(), 0) == 0 && ::lseek(memory.get(), 0, SEEK_SET) == 0 &&
                writeAll(memory.get(), text);
    }
    if (!written) {
      if (error != nullptr) *error = openError(name, errno);
      return nullptr;
    }
    errno = 0;
    ppd.reset(ppdOpenFile(reopen.c_str()));
    if (ppd || !blanked) break;
  }
  if (error != nullptr) *error = ppd ? std::string() : parseError(name, errno);
  return ppd;
}

std::optional<std::string> ppdAttributeValue(ppd_file_t* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr) return std::nullopt;
  const ppd_attr_t* attr = ppdFindAttr(ppd, keyword, nullptr);
  if (attr == nullptr || attr->value == nullptr) return std::nullopt;
  return std::string(attr->value);
}

bool ppdHasAttribute(ppd_file_t* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr) return false;
  return ppdFindAttr(ppd, keyword, nullptr) != nullptr;
}

std::optional<std::string> ppdModelNameBytes(ppd_file_t* ppd) {
  if (ppd == nullptr || ppd->modelname == nullptr) return std::nullopt;
  return std::string(ppd->modelname);
}

namespace {

// One main-keyword entry of a PPD: "*Name Spec/Text: value".
struct PPDEntry {
  std::string_view name;
  std::string_view spec;
  std::string_view value;
};

// Reads the entry whose line starts at `at` (just after its "*") and
// answers it with `at` moved past it: past its line, or for a quoted value
// past the line of the closing quote. nullopt for a line that is no entry
// (a comment, "*End", no colon), `at` then past that line.
std::optional<PPDEntry> nextEntry(std::string_view text, std::size_t& at) {
  const std::size_t lineEnd = std::min(text.find('\n', at), text.size());
  auto skipLine = [&]() -> std::optional<PPDEntry> {
    at = lineEnd + 1;
    return std::nullopt;
  };
  const std::string_view line = text.substr(at, lineEnd - at);
  if (line.starts_with('%') || line.starts_with("End")) return skipLine();
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return skipLine();
  PPDEntry entry;
  std::size_t i = 0;
  while (i < colon && !isBlank(line[i]) && line[i] != '/') ++i;
  entry.name = line.substr(0, i);
  while (i < colon && isBlank(line[i])) ++i;
  const std::size_t specStart = i;
  while (i < colon && line[i] != '/') ++i;
  entry.spec = line.substr(specStart, i - specStart);
  while (!entry.spec.empty() && isBlank(entry.spec.back())) entry.spec.remove_suffix(1);
  std::size_t v = at + colon + 1;
  while (v < lineEnd && isBlank(text[v])) ++v;
  if (v < lineEnd && text[v] == '"') {
    const std::size_t close = text.find('"', v + 1);
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    entry.value = text.substr(v + 1, end - v - 1);
    at = std::min(text.find('\n', end), text.size()) + 1;
    return entry;
  }
  std::size_t valueEnd = lineEnd;
  while (valueEnd > v && (isBlank(text[valueEnd - 1]) || text[valueEnd - 1] == '\r')) --valueEnd;
  entry.value = text.substr(v, valueEnd - v);
  at = lineEnd + 1;
  return entry;
}

}  // namespace

std::optional<std::map<std::string, std::string>> scanPPDKeywords(
    const std::string& path, const std::vector<std::string>& keywords, std::string* error) {
  const std::shared_ptr<const PPDText> text = PPDText::read(path, false, error);
  if (!text) return std::nullopt;
  return scanPPDKeywords(text->bytes(), path, keywords, error);
}

std::optional<std::map<std::string, std::string>> scanPPDKeywords(
    std::string_view text, const std::string& name, const std::vector<std::string>& keywords,
    std::string* error) {
  if (!text.starts_with("*PPD-Adobe:")) {
    if (error != nullptr) *error = name + ": " + ppdErrorString(PPD_MISSING_PPDADOBE4);
    return std::nullopt;
  }
  std::map<std::string, std::string> values;
  std::size_t at = 0;
  while (at < text.size() && values.size() < keywords.size()) {
    if (text[at] != '*') {
      at = std::min(text.find('\n', at), text.size()) + 1;
      continue;
    }
    ++at;
    const std::optional<PPDEntry> entry = nextEntry(text, at);
    if (!entry) continue;
    // As ppdFindAttr: the first entry of that name, whatever its spec.
    for (const std::string& keyword : keywords) {
      if (entry->name.size() == keyword.size() &&
          ::strncasecmp(entry->name.data(), keyword.data(), keyword.size()) == 0 &&
          !values.contains(keyword)) {
        values[keyword] = std::string(entry->value);
      }
    }
  }
  if (error != nullptr) error->clear();
  return values;
}

}  // namespace platform
