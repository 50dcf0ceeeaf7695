// SPDX-License-Identifier: Apache-2.0
// Owning holders for the C libraries' handles: each one frees its handle
// when it goes out of scope, so no caller writes a deleter of its own.
//
// The handle types are declared here as their libraries declare them, and
// the deleters live in c_handles.cpp (libcurl's and ICU's in the HTTP and
// Unicode modules, http/curl_transport.cpp and unicode/icu_module.cpp, the
// only code that makes them; the XML document's in xml.cpp, which frees it
// through the XML module), so including this header pulls in no library
// header and no include path: a file includes the library it calls and this
// header for the holder.
#pragma once

#include <memory>
#include <utility>

// As curl/curl.h, libxml2/tree.h, plist/plist.h, cups/ppd.h, cups/ipp.h, cups/cups.h,
// iconv.h and ICU's unicode/uspoof.h and unicode/ubrk.h
// declare them.
typedef void CURL;
typedef void CURLM;
struct curl_slist;
struct _xmlDoc;
struct ppd_file_s;
typedef struct ppd_file_s ppd_file_t;
struct _ipp_s;
typedef struct _ipp_s ipp_t;
struct cups_dest_s;
typedef struct cups_dest_s cups_dest_t;
struct _http_s;
typedef struct _http_s http_t;
struct __locale_struct;  // as locale.h declares locale_t
typedef void* iconv_t;
struct USpoofChecker;
struct UBreakIterator;

namespace platform {

struct CurlEasyFree {
  void operator()(CURL* easy) const noexcept;
};
struct CurlMultiFree {
  void operator()(CURLM* multi) const noexcept;
};
struct CurlSlistFree {
  void operator()(curl_slist* list) const noexcept;
};
struct XmlDocFree {
  void operator()(_xmlDoc* doc) const noexcept;
};
struct PlistFree {
  void operator()(void* node) const noexcept;  // a plist_t
};
struct PlistXmlFree {
  void operator()(char* xml) const noexcept;  // text from plist_to_xml
};
struct MallocFree {
  void operator()(void* block) const noexcept;  // anything from malloc
};
struct PPDCloser {
  void operator()(ppd_file_t* ppd) const noexcept;
};
struct IppDelete {
  void operator()(ipp_t* message) const noexcept;  // a request or response
};
struct CupsDestFree {
  void operator()(cups_dest_t* dest) const noexcept;  // one destination of libcups
};
struct CupsDestsFree {
  int count = 0;  // the length of the array, as cupsGetDests2 answered it
  void operator()(cups_dest_t* dests) const noexcept;
};
struct HttpClose {
  void operator()(http_t* http) const noexcept;  // a connection of libcups
};
struct LocaleFree {
  void operator()(__locale_struct* locale) const noexcept;  // from newlocale
};
struct SpoofCheckerClose {
  void operator()(USpoofChecker* checker) const noexcept;
};
struct BreakIteratorClose {
  void operator()(UBreakIterator* iterator) const noexcept;
};
struct SharedLibraryClose {
  void operator()(void* handle) const noexcept;  // from dlopen
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiFree>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistFree>;
using XmlDoc = std::unique_ptr<_xmlDoc, XmlDocFree>;
/// A plist_t node and everything below it.
using PlistNode = std::unique_ptr<void, PlistFree>;
using PlistXml = std::unique_ptr<char, PlistXmlFree>;
template <typename T>
using MallocPtr = std::unique_ptr<T, MallocFree>;
using PPDFile = std::unique_ptr<ppd_file_t, PPDCloser>;
/// An IPP request or response.
using IppMessage = std::unique_ptr<ipp_t, IppDelete>;
/// One destination (queue or instance) with its options, as cupsGetNamedDest
/// answers it.
using CupsDest = std::unique_ptr<cups_dest_t, CupsDestFree>;
/// Every destination cupsGetDests2 lists: CupsDests list(dests, {count}).
using CupsDests = std::unique_ptr<cups_dest_t, CupsDestsFree>;
/// A connection to a scheduler, as httpConnect2 opens it.
using HttpConnection = std::unique_ptr<http_t, HttpClose>;
/// A locale object of newlocale (a locale_t).
using Locale = std::unique_ptr<__locale_struct, LocaleFree>;
using SharedLibrary = std::unique_ptr<void, SharedLibraryClose>;
using SpoofChecker = std::unique_ptr<USpoofChecker, SpoofCheckerClose>;
using BreakIterator = std::unique_ptr<UBreakIterator, BreakIteratorClose>;

/// An iconv conversion descriptor, closed when it goes out of scope. One
/// that iconv_open refused is not valid() and is not closed.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) noexcept;
  ~IconvHandle();
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const noexcept { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const noexcept { return cd_; }
  /// Returns the converter to its initial state (no-op when not valid).
  void reset() const noexcept;

 private:
  iconv_t cd_;
};

/// A POSIX file descriptor, closed when it goes out of scope; -1 is none.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  /// Closes now; false when close reported an error (a lost write). True
  /// when there was nothing to close.
  bool close() noexcept;
  /// Closes the descriptor held, if any, ignoring errors.
  void reset() noexcept;

 private:
  int fd_;
};

}  // namespace platform
